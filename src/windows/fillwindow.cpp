#include "windows/fillwindow.h"

#include "database/db.h"
#include "runs/fill.h"
#include "runs/historyrun.h"
#include "support/log.h"
#include "support/messages.h"
#include "windows/helpkey.h"
#include "windows/named.h"
#include "writers/formatregistry.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

FillWindow::FillWindow(const ExportFormat& format, QWidget* parent)
    : QDialog(parent), run_(std::make_unique<HistoryRun>())
{
    setObjectName(QStringLiteral("fill"));
    setWindowTitle(QStringLiteral("Filling ") + format.name());
    helpkey::setPage(this, QStringLiteral("Exportformat.htm"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    label1_ = named(new QLabel(QStringLiteral("Writing the stored days to ") + format.name(), this), "Label1");
    label2_ = named(new QLabel(this), "Label2");
    progressBar1_ = named(new QProgressBar(this), "ProgressBar1");
    progressBar1_->setMinimumWidth(360);
    stop_ = named(new QPushButton(QStringLiteral("&Stop"), this), "commandstoppen");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(stop_);
    layout->addWidget(label1_);
    layout->addWidget(progressBar1_);
    layout->addWidget(label2_);
    layout->addLayout(buttons);

    QVector<HistoryRun::Range> ranges;
    try {
        if (const std::unique_ptr<Database> db = Database::openDefault())
            ranges = fill::ranges(*db, {});
    } catch (const DbError& e) {
        WriteLog(e.description());
    }
    fill::prepare(*run_, format, std::move(ranges));
    connect(run_.get(), &HistoryRun::progressChanged, this, [this](int value, int maximum) {
        progressBar1_->setMaximum(std::max(1, maximum));
        progressBar1_->setValue(std::min(value, std::max(1, maximum)));
    });
    connect(run_.get(), &HistoryRun::statusChanged, this, [this](int bar, int panel, const QString& text) {
        if (bar == 1 && panel == 1)
            label2_->setText(text);
    });
    connect(run_.get(), &HistoryRun::finished, this, &FillWindow::ended);
    connect(stop_, &QPushButton::clicked, this, [this] {
        stop_->setEnabled(false);
        run_->stop();
    });
}

FillWindow::~FillWindow() = default;

void FillWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        run_->start();
    }
}

void FillWindow::ended()
{
    const HistoryRunSummary& sum = run_->summary();
    outcome_ = sum.outcome();
    // A refusal (no store, another run holds the folder) was told already.
    if (!outcome_.isEmpty())
        msgBox(outcome_, sum.complete() ? Icon::Information : Icon::Warning);
    accept();
}

void FillWindow::closeEvent(QCloseEvent* event)
{
    // The close box stops the fill; the window closes once it has ended.
    if (run_->running()) {
        event->ignore();
        stop_->setEnabled(false);
        run_->stop();
        return;
    }
    QDialog::closeEvent(event);
}

namespace fillwindow {

bool offer(const ExportFormat& format, QWidget* parent)
{
    const int symbols = fill::fillableSymbols();
    if (symbols == 0 || !askYesNo(fill::offer(format, symbols), format.name()))
        return false;
    FillWindow window(format, parent);
    window.exec();
    return true;
}

}  // namespace fillwindow
