#include "windows/compact.h"

#include "database/compact.h"
#include "support/messages.h"
#include "windows/helpkey.h"
#include "windows/named.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QThread>
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
    connect(command1_, &QPushButton::clicked, this, &compact::start);
    connect(this, &compact::compacted, this, &QWidget::close);
    helpkey::connectButton(command2_, kPage);
    resize(420, 160);
}

compact::~compact()
{
    // The window is not closed while it works; should it go anyway, the
    // compaction is let finish first: it replaces the database file.
    if (worker_)
        worker_->wait();
}

void compact::start()
{
    if (worker_)
        return;
    label1_->setVisible(true);
    setEnabled(false);
    busy_ = std::make_unique<BusyPointer>();
    auto outcome = std::make_shared<std::pair<bool, QString>>(false, QString());
    worker_ = QThread::create([outcome] { outcome->first = compaction::compactDatabase(&outcome->second); });
    connect(worker_, &QThread::finished, this, [this, outcome] {
        worker_->deleteLater();
        worker_ = nullptr;
        finished(outcome->first, outcome->second);
    });
    worker_->start();
}

void compact::reject()
{
    if (!worker_)
        QDialog::reject();
}

void compact::finished(bool ok, const QString& failure)
{
    busy_.reset();
    setEnabled(true);
    if (ok)
        msgBox(QStringLiteral("Database Compact/Repair Succeeded"));
    else
        msgBox(failure, Icon::Warning);
    emit compacted(ok);
}
