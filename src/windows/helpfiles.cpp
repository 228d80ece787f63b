#include "windows/helpfiles.h"

#include "runs/helpupdate.h"
#include "support/messages.h"
#include "windows/helpkey.h"
#include "windows/named.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

helpfiles::helpfiles(QWidget* parent)
    : QDialog(parent), command1_(named(new QPushButton(QStringLiteral("&Yes"), this), "Command1")),
      command2_(named(new QPushButton(QStringLiteral("&No"), this), "Command2")),
      statusBar1_(named(new QStatusBar(this), "StatusBar1")), panel1_(named(new QLabel(this), "Panel1")),
      panel2_(named(new QLabel(this), "Panel2")), update_(new HelpFilesUpdate(this))
{
    setObjectName(QStringLiteral("helpfiles"));
    helpkey::setPage(this, QStringLiteral("index.htm"));
    setWindowTitle(QStringLiteral("Quotaris System message"));
    setModal(true);
    statusBar1_->setSizeGripEnabled(false);
    statusBar1_->addWidget(panel1_);
    statusBar1_->addWidget(panel2_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(command1_);
    buttons->addWidget(command2_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("New help files are available."), this));
    layout->addWidget(new QLabel(QStringLiteral("Download New help files now?"), this));
    layout->addLayout(buttons);
    layout->addWidget(statusBar1_);
    command1_->setDefault(true);
    connect(command1_, &QPushButton::clicked, this, &helpfiles::download);
    connect(command2_, &QPushButton::clicked, this, &QDialog::reject);
}

void helpfiles::download()
{
    if (update_->running())
        return;
    command1_->setEnabled(false);
    command2_->setEnabled(false);
    update_->status = [this](const QString& one, const QString& two) {
        panel1_->setText(one);
        panel2_->setText(two);
    };
    connect(update_, &HelpFilesUpdate::finished, this, &helpfiles::finished, Qt::UniqueConnection);
    update_->start();
}

void helpfiles::finished()
{
    const HelpFilesUpdate::Result& result = update_->result();
    if (!result.ok) {
        ReportFailure(result.failed);
        emit downloaded(false);
        return;
    }
    msgBox(QStringLiteral("Helpfiles are updated"));
    accept();
    emit downloaded(true);
}

void helpfiles::ReportFailure(const QString& name)
{
    msgBox(QStringLiteral("Download file ") + name + QStringLiteral(" failed"));
    command1_->setEnabled(true);
    command2_->setEnabled(true);
}
