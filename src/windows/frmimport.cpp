#include "windows/frmimport.h"

#include "database/clsdata.h"
#include "database/listimport.h"
#include "database/lists.h"
#include "support/changes.h"
#include "support/messages.h"
#include "support/state.h"
#include "windows/helpkey.h"
#include "windows/listchooser.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

frmImport::frmImport(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmImport"));
    helpkey::setPage(this, QStringLiteral("import_symbols.htm"));
    setWindowTitle(QStringLiteral("Import Symbols"));

    auto* label1 = new QLabel(QStringLiteral("Choose List to import to:"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    combo1_ = makeListChooser(this);
    auto* label2 = new QLabel(QStringLiteral("Importfile must be in ASCII or TXT format"), this);
    label2->setObjectName(QStringLiteral("Label2"));
    auto* label3 = new QLabel(QStringLiteral("Each Symbol on a new line"), this);
    label3->setObjectName(QStringLiteral("Label3"));
    auto* label4 = new QLabel(QStringLiteral("Preview:"), this);
    label4->setObjectName(QStringLiteral("Label4"));
    list1_ = new QListWidget(this);
    list1_->setObjectName(QStringLiteral("List1"));
    label4->setBuddy(list1_);

    command4_ = new QPushButton(QStringLiteral("&File"), this);
    command4_->setObjectName(QStringLiteral("Command4"));
    command1_ = new QPushButton(QStringLiteral("&Import"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setEnabled(false);
    command3_ = new QPushButton(QStringLiteral("&Cancel"), this);
    command3_->setObjectName(QStringLiteral("Command3"));

    statusBar1_ = new QStatusBar(this);
    statusBar1_->setObjectName(QStringLiteral("StatusBar1"));
    statusBar1_->setSizeGripEnabled(false);
    panel1_ = new QLabel(statusBar1_);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    statusBar1_->addWidget(panel1_, 1);

    auto* chooserRow = new QHBoxLayout;
    chooserRow->addWidget(label1);
    chooserRow->addWidget(combo1_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(command4_);
    buttons->addStretch(1);
    buttons->addWidget(command1_);
    buttons->addWidget(command3_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(chooserRow);
    layout->addWidget(label2);
    layout->addWidget(label3);
    layout->addWidget(label4);
    layout->addWidget(list1_, 1);
    layout->addLayout(buttons);
    layout->addWidget(statusBar1_);

    chooseFile = [this] {
        return QFileDialog::getOpenFileName(
            this, QStringLiteral("Import Symbols"), QString(),
            QStringLiteral("Text Files (*.txt);;ASCII Files (*.asc);;Amibroker Files (*.tls)"));
    };
    connect(command4_, &QPushButton::clicked, this, [this] {
        const QString file = chooseFile ? chooseFile() : QString();
        if (!file.isEmpty())
            readFile(file);
    });
    connect(command1_, &QPushButton::clicked, this, &frmImport::importPreview);
    connect(command3_, &QPushButton::clicked, this, &frmImport::reject);
}

QString frmImport::statusText() const { return panel1_->text(); }

void frmImport::readFile(const QString& fileName)
{
    const listimport::FileResult file = listimport::readFile(fileName);
    if (file.tooBig) {
        msgBox(QStringLiteral("File to big"));
        return;
    }
    if (!file.error.isEmpty()) {
        msgBox(file.error, Icon::Warning);
        return;
    }
    list1_->clear();
    list1_->addItems(file.entries);
    panel1_->setText(QStringLiteral("%1 Symbols in file").arg(file.entries.size()));
    command1_->setEnabled(list1_->count() > 0);
    if (!file.refused.isEmpty())
        msgBox(QStringLiteral("Not a symbol (a comma, quote or control character), left out:\n") +
                   file.refused.join(QLatin1Char('\n')),
               Icon::Warning);
}

void frmImport::setWorking(bool working)
{
    working_ = working;
    combo1_->setEnabled(!working);
    command3_->setEnabled(!working);
    command4_->setEnabled(!working);
    command1_->setEnabled(!working && list1_->count() > 0);
    // The preview follows the import but takes no clicks meanwhile.
    list1_->setAttribute(Qt::WA_TransparentForMouseEvents, working);
    list1_->setFocusPolicy(working ? Qt::NoFocus : Qt::StrongFocus);
}

void frmImport::importPreview()
{
    if (working_ || list1_->count() == 0)
        return;
    QStringList entries;
    for (int i = 0; i < list1_->count(); ++i)
        entries << list1_->item(i)->text();
    // The quote service's symbols are upper case: "nesn.sw" is "NESN.SW".
    const qsizetype lower =
        std::count_if(entries.begin(), entries.end(), [](const QString& e) { return e.toUpper() != e; });
    if (lower > 0 && askYesNo(QStringLiteral("%1 of the %2 symbols have lower-case letters; the quote service's "
                                             "symbols are upper case.\r\nImport them in upper case?")
                                  .arg(lower)
                                  .arg(entries.size()))) {
        for (QString& e : entries)
            e = e.toUpper();
        for (int i = 0; i < list1_->count(); ++i)
            list1_->item(i)->setText(entries[i]);
    }
    setWorking(true);
    if (auto symbols = clsData::open()) {
        listimport::Progress progress;
        progress.entry = [this](int i) { list1_->setCurrentRow(i); };
        progress.status = [this](const QString& text) { panel1_->setText(text); };
        const listimport::Result result = listimport::importSymbols(*symbols, entries, settings().lijst, progress);
        if (result.failed > 0)
            msgBox(panel1_->text(), Icon::Critical);
    }
    setWorking(false);
    announce::symbols();
    announce::lists();
}

void frmImport::closeEvent(QCloseEvent* event)
{
    if (working_)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void frmImport::reject()
{
    if (!working_)
        QDialog::reject();
}
