#include "windows/location.h"

#include "support/paths.h"
#include "support/state.h"
#include "windows/helpkey.h"
#include "windows/maakfolder.h"
#include "windows/named.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTreeView>
#include <QVBoxLayout>

location::location(QChar letter, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("location"));
    helpkey::setPage(this, QStringLiteral("Exportformat.htm"));
    build();
    if (letter == QLatin1Char('T')) {
        symbolMode_ = true;
        label1_->hide();
        frame1_->hide();
        option1_->setChecked(true);  // a symbol's folder is always wanted
        check1_->setText(QStringLiteral("Don't ask again"));
        check1_->show();
        setFolder(settings().metastock);
        layOut();
        return;
    }
    logic_ = std::make_unique<FormatLocation>(letter);
    const ExportFormat& f = logic_->format();
    const LocationChoice choice = logic_->load();
    setWindowTitle(QString::fromLatin1(f.caption).remove(QLatin1Char('&')));
    label1_->setText(QLatin1String(f.title));
    label2_->setText(QLatin1String(f.folderPrompt));
    (choice.selected ? option1_ : option2_)->setChecked(true);
    if (f.hasLongNames()) {
        check1_->setText(QStringLiteral("Export long names"));
        check1_->setChecked(choice.longNames);
    }
    const int max = settings().metaversion;
    (max == 255 ? option6_ : max == 2000 ? option3_ : max == 6000 ? option4_ : option5_)->setChecked(true);
    combo2_->setCurrentIndex(FormatLocation::extensionIndex(choice.extension));
    (choice.openInterest ? option8_ : option7_)->setChecked(true);
    text1_->setText(choice.importCommand);
    setFolder(f.hasFolder() ? choice.folder : paths::fallbackFolder());
    layOut();
}

location::~location() = default;

void location::build()
{
    auto* main = new QVBoxLayout(this);
    label1_ = named(new QLabel(this), "Label1");
    QFont big = label1_->font();
    big.setBold(true);
    label1_->setFont(big);
    main->addWidget(label1_);

    frame1_ = named(new QGroupBox(this), "Frame1");
    auto* onOff = new QHBoxLayout(frame1_);
    option1_ = named(new QRadioButton(QStringLiteral("&Yes"), frame1_), "Option1");
    option2_ = named(new QRadioButton(QStringLiteral("&No"), frame1_), "Option2");
    onOff->addWidget(option1_);
    onOff->addWidget(option2_);
    onOff->addStretch();
    main->addWidget(frame1_);

    frame2_ = named(new QGroupBox(this), "Frame2");
    auto* folderBox = new QVBoxLayout(frame2_);
    label2_ = named(new QLabel(frame2_), "Label2");
    folderBox->addWidget(label2_);
    drive1_ = named(new QComboBox(frame2_), "Drive1");
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady())
            drive1_->addItem(volume.rootPath());
    }
    folderBox->addWidget(drive1_);
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model_->setRootPath(QStringLiteral("/"));
    dir1_ = named(new QTreeView(frame2_), "Dir1");
    dir1_->setModel(model_);
    for (int column = 1; column < model_->columnCount(); ++column)
        dir1_->hideColumn(column);
    dir1_->header()->hide();
    dir1_->setMinimumHeight(220);
    folderBox->addWidget(dir1_);
    command1_ = named(new QPushButton(QStringLiteral("&New"), frame2_), "Command1");
    folderBox->addWidget(command1_, 0, Qt::AlignLeft);
    main->addWidget(frame2_);

    check1_ = named(new QCheckBox(this), "Check1");
    check1_->hide();
    main->addWidget(check1_);

    frame3_ = named(new QGroupBox(QStringLiteral("Maximum number of symbols in a folder:"), this), "Frame3");
    auto* maxBox = new QVBoxLayout(frame3_);
    option6_ = named(new QRadioButton(QStringLiteral("255   (Metastock 5.X or 6.X)"), frame3_), "Option6");
    option3_ = named(new QRadioButton(QStringLiteral("2000 (Metastock 7.X)"), frame3_), "Option3");
    option4_ = named(new QRadioButton(QStringLiteral("6000 (Metastock 8.X or higher)"), frame3_), "Option4");
    option5_ = named(new QRadioButton(QStringLiteral("Unlimited"), frame3_), "Option5");
    for (QRadioButton* b : {option6_, option3_, option4_, option5_})
        maxBox->addWidget(b);
    main->addWidget(frame3_);

    frame4_ = named(new QGroupBox(this), "Frame4");
    auto* prnBox = new QGridLayout(frame4_);
    label4_ = named(new QLabel(QStringLiteral("File extension"), frame4_), "Label4");
    combo2_ = named(new QComboBox(frame4_), "Combo2");
    for (const QString& e : FormatLocation::extensions())
        combo2_->addItem(QLatin1Char('.') + e);
    label3_ = named(new QLabel(QStringLiteral("Write Open Interest to last column"), frame4_), "Label3");
    option8_ = named(new QRadioButton(QStringLiteral("&Yes"), frame4_), "Option8");
    option7_ = named(new QRadioButton(QStringLiteral("&No"), frame4_), "Option7");
    prnBox->addWidget(label4_, 0, 0);
    prnBox->addWidget(combo2_, 0, 1);
    prnBox->addWidget(label3_, 1, 0);
    prnBox->addWidget(option8_, 1, 1);
    prnBox->addWidget(option7_, 1, 2);
    main->addWidget(frame4_);

    // AmiBroker runs under a compatibility layer: the user names the command
    // that imports the staging file.
    frame5_ = named(new QGroupBox(this), "Frame5");
    auto* commandBox = new QVBoxLayout(frame5_);
    label5_ = named(new QLabel(QStringLiteral("Import command (%f: the quote file, %d: the import definition):"), frame5_),
                    "Label5");
    text1_ = named(new QLineEdit(frame5_), "Text1");
    commandBox->addWidget(label5_);
    commandBox->addWidget(text1_);
    main->addWidget(frame5_);

    // Radio buttons of one group box exclude each other; the open-interest
    // pair shares its box with other controls, so it gets a group of its own.
    auto* interest = new QButtonGroup(this);
    interest->addButton(option8_);
    interest->addButton(option7_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    okButton_ = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    okButton_->setDefault(true);
    cancelButton_ = named(new QPushButton(QStringLiteral("&Cancel"), this), "CancelButton");
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    main->addLayout(buttons);

    connect(option1_, &QRadioButton::clicked, this, &location::clickedYes);
    connect(option2_, &QRadioButton::clicked, this, &location::layOut);
    connect(command1_, &QPushButton::clicked, this, &location::clickedNew);
    connect(okButton_, &QPushButton::clicked, this, &location::ok);
    connect(cancelButton_, &QPushButton::clicked, this, &location::cancel);
    connect(drive1_, &QComboBox::activated, this, [this] { setFolder(drive1_->currentText()); });
    const QList<QPair<QRadioButton*, int>> maxima = {{option6_, 255}, {option3_, 2000}, {option4_, 6000}, {option5_, 999999}};
    for (const auto& [button, maximum] : maxima)
        connect(button, &QRadioButton::clicked, this, [maximum] { FormatLocation::setMaxSymbols(maximum); });
}

void location::layOut()
{
    const bool hasFolder = symbolMode_ || logic_->format().hasFolder();
    const bool on = option1_->isChecked();
    auto has = [this](FormatOption option) { return !symbolMode_ && logic_->format().has(option); };
    frame2_->setVisible(hasFolder && on);
    frame3_->setVisible(has(FolderMaximum));
    frame4_->setVisible(has(RunFileLayout));
    frame5_->setVisible(has(ImportCommand));
    check1_->setVisible(symbolMode_ || logic_->format().hasLongNames());
    adjustSize();
}

void location::clickedYes()
{
    if (!symbolMode_ && !logic_->canSwitchOn(choiceFromControls()))
        option2_->setChecked(true);
    layOut();
}

void location::clickedNew()
{
    Maakfolder dialog(chosenFolder(), this);
    if (dialog.exec() == QDialog::Accepted)
        setFolder(dialog.createdFolder());
}

QString location::chosenFolder() const
{
    const QString folder = model_->filePath(dir1_->currentIndex());
    return paths::withTrailingSlash(folder.isEmpty() ? paths::fallbackFolder() : folder);
}

void location::setFolder(const QString& folder)
{
    const QModelIndex index = model_->index(QDir::cleanPath(folder.isEmpty() ? paths::fallbackFolder() : folder));
    dir1_->setCurrentIndex(index);
    dir1_->scrollTo(index);
}

void location::setSymbolMode(const QString& name, const QString& startFolder, Placer place)
{
    label2_->setText(QStringLiteral("Choose folder of ") + name);
    setWindowTitle(label2_->text());
    place_ = std::move(place);
    setFolder(startFolder);
}

void location::ok()
{
    const QString folder = chosenFolder();
    if (symbolMode_) {
        if (place_ && !place_(folder, check1_->isChecked()))
            return;
        symbolFolder_ = folder;
    } else if (!logic_->accept(choiceFromControls())) {
        return;
    }
    closingByButton_ = true;
    accept();
}

LocationChoice location::choiceFromControls() const
{
    LocationChoice choice;
    choice.selected = option1_->isChecked();
    choice.folder = chosenFolder();
    choice.longNames = check1_->isChecked();
    choice.extension = FormatLocation::extensions().value(combo2_->currentIndex());
    choice.openInterest = option8_->isChecked();
    choice.importCommand = text1_->text().trimmed();
    return choice;
}

void location::cancel()
{
    symbolFolder_.clear();
    closingByButton_ = true;
    reject();
}

void location::closeEvent(QCloseEvent* event)
{
    // A new MetaStock symbol needs an answer: OK or Cancel, not the close box.
    if (symbolMode_ && !closingByButton_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
