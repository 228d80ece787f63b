#include "windows/location.h"

#include "runs/placement.h"
#include "support/paths.h"
#include "support/state.h"
#include "windows/helpkey.h"
#include "windows/maakfolder.h"
#include "windows/named.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
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
        setFolder(settings().format(QLatin1Char('M')).folder);
        layOut();
        return;
    }
    logic_ = std::make_unique<FormatLocation>(letter);
    const ExportFormat& f = logic_->format();
    const LocationChoice choice = logic_->load();
    setWindowTitle(f.name());
    label1_->setText(QLatin1String(f.title));
    label2_->setText(QLatin1String(f.folderPrompt));
    option1_->setChecked(choice.selected);
    if (f.hasLongNames()) {
        check1_->setText(QStringLiteral("Export long names"));
        check1_->setChecked(choice.longNames);
    }
    autoPlace_->setChecked(placement::automatic());
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

    // One switch; the folder below stays in its place, usable while the
    // format is on, so nothing moves under the pointer.
    frame1_ = named(new QGroupBox(this), "Frame1");
    frame1_->setFlat(true);
    auto* onOff = new QHBoxLayout(frame1_);
    onOff->setContentsMargins(0, 0, 0, 0);
    option1_ =
        named(new QCheckBox(QStringLiteral("&Write the quotes of every download in this format"), frame1_), "Option1");
    onOff->addWidget(option1_);
    main->addWidget(frame1_);

    frame2_ = named(new QGroupBox(this), "Frame2");
    auto* folderBox = new QGridLayout(frame2_);
    label2_ = named(new QLabel(frame2_), "Label2");
    dir1_ = named(new QLineEdit(frame2_), "Dir1");
    dir1_->setMinimumWidth(fontMetrics().averageCharWidth() * 48);
    dir1_->setClearButtonEnabled(true);
    label2_->setBuddy(dir1_);
    browse_ = named(new QPushButton(QStringLiteral("&Browse..."), frame2_), "CommandBrowse");
    command1_ = named(new QPushButton(QStringLiteral("&New"), frame2_), "Command1");
    command1_->setToolTip(QStringLiteral("Create a new folder inside the folder above"));
    folderBox->addWidget(label2_, 0, 0, 1, 3);
    folderBox->addWidget(dir1_, 1, 0);
    folderBox->addWidget(browse_, 1, 1);
    folderBox->addWidget(command1_, 1, 2);
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
    // A lasting choice: a run then never stops to ask where a new symbol goes.
    autoPlace_ = named(new QCheckBox(QStringLiteral("&Place new symbols automatically"), this), "CheckAutoPlace");
    autoPlace_->setToolTip(QStringLiteral("New symbols go into the folder last used, or the first folder with room, "
                                          "without asking. Scheduled downloads always do this."));
    main->addWidget(frame3_);
    main->addWidget(autoPlace_);

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
    label5_ =
        named(new QLabel(QStringLiteral("Import command (%f: the quote file, %d: the import definition):"), frame5_),
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

    connect(option1_, &QCheckBox::clicked, this, [this](bool on) {
        if (on)
            clickedYes();
        else
            layOut();
    });
    connect(command1_, &QPushButton::clicked, this, &location::clickedNew);
    connect(browse_, &QPushButton::clicked, this, &location::clickedBrowse);
    connect(okButton_, &QPushButton::clicked, this, &location::ok);
    connect(cancelButton_, &QPushButton::clicked, this, &location::cancel);
    const QList<QPair<QRadioButton*, int>> maxima = {
        {option6_, 255}, {option3_, 2000}, {option4_, 6000}, {option5_, 999999}};
    for (const auto& [button, maximum] : maxima)
        connect(button, &QRadioButton::clicked, this, [maximum] { FormatLocation::setMaxSymbols(maximum); });
}

void location::layOut()
{
    const bool hasFolder = symbolMode_ || logic_->format().hasFolder();
    const bool on = option1_->isChecked();
    auto has = [this](FormatOption option) { return !symbolMode_ && logic_->format().has(option); };
    // What a letter shows is fixed; switching on or off only enables.
    frame2_->setVisible(hasFolder);
    frame2_->setEnabled(on);
    frame3_->setVisible(has(FolderMaximum));
    autoPlace_->setVisible(has(FolderMaximum));
    frame4_->setVisible(has(RunFileLayout));
    frame5_->setVisible(has(ImportCommand));
    check1_->setVisible(symbolMode_ || logic_->format().hasLongNames());
    check1_->setEnabled(symbolMode_ || on);
    if (!sized_) {
        sized_ = true;
        adjustSize();
    }
}

void location::clickedYes()
{
    if (!symbolMode_ && !logic_->canSwitchOn(choiceFromControls()))
        option1_->setChecked(false);
    layOut();
}

void location::clickedNew()
{
    Maakfolder dialog(chosenFolder(), this);
    if (dialog.exec() == QDialog::Accepted)
        setFolder(dialog.createdFolder());
}

void location::clickedBrowse()
{
    // The desktop's own folder dialog, starting at the folder shown.
    const QString folder = QFileDialog::getExistingDirectory(this, label2_->text(), chosenFolder());
    if (!folder.isEmpty())
        setFolder(folder);
}

QString location::chosenFolder() const
{
    QString folder = dir1_->text().trimmed();
    if (folder.startsWith(QLatin1Char('~')))
        folder = QDir::homePath() + folder.mid(1);
    if (folder.isEmpty())
        folder = paths::fallbackFolder();
    // "/" stays the root, which the MetaStock rule refuses.
    return paths::withTrailingSlash(QDir::cleanPath(folder));
}

void location::setFolder(const QString& folder)
{
    const QString shown = folder.isEmpty() ? paths::fallbackFolder() : folder;
    dir1_->setText(paths::withTrailingSlash(QDir::cleanPath(shown)));
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
    } else {
        const LocationChoice before = logic_->load();
        const LocationChoice choice = choiceFromControls();
        if (!logic_->accept(choice))
            return;
        switchedOn_ = choice.selected && (!before.selected || before.folder != logic_->load().folder);
        if (logic_->format().has(FolderMaximum))
            placement::setAutomatic(autoPlace_->isChecked());
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
