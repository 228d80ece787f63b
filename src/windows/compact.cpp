#include "windows/compact.h"

#include "database/compact.h"
#include "support/messages.h"
#include "windows/helpkey.h"
#include "windows/named.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kPage = QStringLiteral("Compact_Repair_Database.htm");
}

compact::compact(QWidget* parent)
    : QDialog(parent), command1_(named(new QPushButton(QStringLiteral("&Start"), this), "Command1")),
      command2_(named(new QPushButton(QStringLiteral("&Help"), this), "Command2")),
      label1_(named(new QLabel(QStringLiteral("Working, Please wait................."), this), "Label1"))
{
    setObjectName(QStringLiteral("compact"));
    helpkey::setPage(this, kPage);
    setWindowTitle(QStringLiteral("Compact/Repair Database"));
    auto* text = new QLabel(QStringLiteral("Compacting rewrites the symbol database into a smaller file and "
                                           "repairs minor damage. Your symbols, lists and settings are kept."),
                            this);
    text->setWordWrap(true);
    label1_->setVisible(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(command1_);
    buttons->addStretch(1);
    buttons->addWidget(command2_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(label1_);
    layout->addStretch(1);
    layout->addLayout(buttons);
    command1_->setDefault(true);
    connect(command1_, &QPushButton::clicked, this, [this] {
        start();
        close();
    });
    helpkey::connectButton(command2_, kPage);
    resize(420, 160);
}

bool compact::start()
{
    label1_->setVisible(true);
    setEnabled(false);
    bool ok;
    {
        BusyPointer busy;
        QApplication::processEvents();
        ok = compaction::compactDatabase();
    }
    setEnabled(true);
    if (ok)
        msgBox(QStringLiteral("Database Compact/Repair Succeeded"));
    return ok;
}
