#include "windows/frmexport.h"

#include "database/clsdata.h"
#include "windows/helpkey.h"
#include "windows/listchooser.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

frmExport::frmExport(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExport"));
    helpkey::setPage(this, QStringLiteral("export_symbols.htm"));
    setWindowTitle(QStringLiteral("Export List"));

    auto* label1 = new QLabel(QStringLiteral("Choose List to export:"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    combo1_ = makeListChooser(this);
    auto* label4 = new QLabel(QStringLiteral("Items in Database:"), this);
    label4->setObjectName(QStringLiteral("Label4"));
    auto* label5 = new QLabel(QStringLiteral("Items to Export:"), this);
    label5->setObjectName(QStringLiteral("Label5"));
    list1_ = new QListWidget(this);
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->addItems({QStringLiteral("Symbol"), QStringLiteral("Name"), QStringLiteral("Market")});
    list2_ = new QListWidget(this);
    list2_->setObjectName(QStringLiteral("List2"));

    const char* captions[4] = {">", ">>", "<<", "<"};
    auto* moves = new QVBoxLayout;
    moves->addStretch(1);
    for (int i = 0; i < 4; ++i) {
        move_[i] = new QPushButton(QLatin1String(captions[i]), this);
        move_[i]->setObjectName(QStringLiteral("Command1_%1").arg(i));
        moves->addWidget(move_[i]);
    }
    moves->addStretch(1);
    command4_ = new QPushButton(QStringLiteral("&Ok"), this);
    command4_->setObjectName(QStringLiteral("Command4"));
    command3_ = new QPushButton(QStringLiteral("&Cancel"), this);
    command3_->setObjectName(QStringLiteral("Command3"));

    auto* statusBar1 = new QStatusBar(this);
    statusBar1->setObjectName(QStringLiteral("StatusBar1"));
    statusBar1->setSizeGripEnabled(false);
    panel1_ = new QLabel(statusBar1);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    statusBar1->addWidget(panel1_, 1);

    auto* grid = new QGridLayout;
    grid->addWidget(label1, 0, 0);
    grid->addWidget(combo1_, 0, 1, 1, 2);
    grid->addWidget(label4, 1, 0);
    grid->addWidget(label5, 1, 2);
    grid->addWidget(list1_, 2, 0);
    grid->addLayout(moves, 2, 1);
    grid->addWidget(list2_, 2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(command4_);
    buttons->addWidget(command3_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);
    layout->addWidget(statusBar1);

    chooseFile = [this] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Export List"), QString(),
                                            QStringLiteral("Text Files (*.txt);;All Files (*)"));
    };
    connect(move_[0], &QPushButton::clicked, this, [this] { moveSelected(list1_, list2_); });
    connect(move_[1], &QPushButton::clicked, this, [this] { moveAll(list1_, list2_); });
    connect(move_[2], &QPushButton::clicked, this, [this] { moveAll(list2_, list1_); });
    connect(move_[3], &QPushButton::clicked, this, [this] { moveSelected(list2_, list1_); });
    connect(list1_, &QListWidget::itemDoubleClicked, this, [this] { moveSelected(list1_, list2_); });
    connect(list2_, &QListWidget::itemDoubleClicked, this, [this] { moveSelected(list2_, list1_); });
    connect(command4_, &QPushButton::clicked, this, &frmExport::exportList);
    connect(command3_, &QPushButton::clicked, this, &frmExport::reject);
    updateButtons();
}

QString frmExport::statusText() const { return panel1_->text(); }

void frmExport::moveSelected(QListWidget* from, QListWidget* to)
{
    const int row = from->currentRow();
    if (row < 0)
        return;
    to->addItem(from->takeItem(row));
    updateButtons();
}

void frmExport::moveAll(QListWidget* from, QListWidget* to)
{
    while (from->count() > 0)
        to->addItem(from->takeItem(0));
    updateButtons();
}

void frmExport::updateButtons() { command4_->setEnabled(list2_->count() > 0); }

void frmExport::setButtonsEnabled(bool enabled)
{
    for (QPushButton* b : move_)
        b->setEnabled(enabled);
    command3_->setEnabled(enabled);
    command4_->setEnabled(enabled && list2_->count() > 0);
}

void frmExport::exportList()
{
    if (list2_->count() == 0)
        return;
    setButtonsEnabled(false);
    QStringList columns;
    for (int i = 0; i < list2_->count(); ++i)
        columns << list2_->item(i)->text();
    const QString file = chooseFile ? chooseFile() : QString();
    if (!file.isEmpty()) {
        if (auto symbols = clsData::open()) {
            symbols->statusText = [this](const QString& text) { panel1_->setText(text); };
            symbols->Export(file, combo1_->currentIndex() + 1, columns);
        }
    }
    setButtonsEnabled(true);
}
