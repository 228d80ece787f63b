#include "windows/history.h"

#include "runs/historyrun.h"
#include "support/messages.h"
#include "support/state.h"
#include "windows/elidedlabel.h"
#include "windows/helpkey.h"
#include "windows/historyreportform.h"
#include "windows/listchooser.h"
#include "windows/named.h"
#include "windows/runrecord.h"
#include "windows/stopandclose.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// `share`: the panels share the width, each text elided in its own part
// (texts of any length); otherwise each is as wide as its text.
QStatusBar* statusBar(QWidget* parent, const char* name, QLabel** panels, int count, bool share)
{
    auto* bar = named(new QStatusBar(parent), name);
    bar->setSizeGripEnabled(false);
    // The panels side by side from the left, as one line reads: "Downloading
    // from" 1-12-2020 "to" 4-12-2020.
    for (int i = 0; i < count; ++i) {
        panels[i] = share ? new ElidedLabel(bar) : new QLabel(bar);
        panels[i]->setObjectName(QStringLiteral("%1Panel%2").arg(QLatin1String(name)).arg(i + 1));
        bar->addWidget(panels[i], share ? 1 : 0);
    }
    return bar;
}

}  // namespace

history::history(QWidget* parent) : QWidget(parent), run_(new HistoryRun(this))
{
    setObjectName(QStringLiteral("history"));
    setWindowTitle(QStringLiteral("Historical Data Downloader"));
    helpkey::setPage(this, QStringLiteral("Download_historical_data.htm"));

    auto* lists = named(new QGroupBox(QStringLiteral("Lists"), this), "FrameLists");
    choice_ = new ListChoice(lists, "Option1", "Option2", "Label4");
    choice_->follow(this);
    auto* listLayout = new QGridLayout(lists);
    choice_->addTo(listLayout);
    listLayout->setColumnStretch(2, 1);
    listLayout->setRowStretch(2, 1);

    auto* dates = named(new QGroupBox(QStringLiteral("Specify date"), this), "Frame1");
    startdatum_ = named(new QDateEdit(dates), "startdatum");
    einddatum_ = named(new QDateEdit(dates), "einddatum");
    for (QDateEdit* picker : {startdatum_, einddatum_}) {
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    }
    check1_ = named(new QCheckBox(QStringLiteral("Download all data available"), dates), "Check1");
    auto* dateLayout = new QGridLayout(dates);
    auto* startLabel = new QLabel(QStringLiteral("Starting Date:"), dates);
    auto* endLabel = new QLabel(QStringLiteral("Ending Date:"), dates);
    startLabel->setBuddy(startdatum_);
    endLabel->setBuddy(einddatum_);
    dateLayout->addWidget(startLabel, 0, 0);
    dateLayout->addWidget(startdatum_, 0, 1);
    dateLayout->addWidget(endLabel, 1, 0);
    dateLayout->addWidget(einddatum_, 1, 1);
    dateLayout->addWidget(check1_, 2, 0, 1, 2);
    dateLayout->setRowStretch(3, 1);

    command1_ = named(new QPushButton(QStringLiteral("&Go!"), this), "Command1");
    command1_->setDefault(true);
    stop_ = named(new QPushButton(QStringLiteral("&Stop Downloading!"), this), "commandstoppen");
    report_ = named(new QPushButton(QStringLiteral("View &Report"), this), "rapportknop");
    stop_->setEnabled(false);
    progress_ = named(new QProgressBar(this), "ProgressBar1");
    progress_->setValue(0);

    auto* choices = new QHBoxLayout;
    choices->addWidget(lists, 1);
    choices->addWidget(dates);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(command1_);
    buttons->addWidget(stop_);
    buttons->addStretch();
    buttons->addWidget(report_);
    // The bar and the lines that describe it stay together.
    auto* progressBox = named(new QGroupBox(QStringLiteral("Progress"), this), "FrameProgress");
    auto* progressLayout = new QVBoxLayout(progressBox);
    progressLayout->setSpacing(2);
    progressLayout->addWidget(progress_);
    progressLayout->addWidget(statusBar(progressBox, "StatusBar2", panel2_, 4, false));
    progressLayout->addWidget(statusBar(progressBox, "StatusBar1", panel1_, 3, true));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(buttons);
    layout->addWidget(progressBox);
    layout->addStretch();

    // The frame titles stand inside their frames, above what they name.
    setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 4px; margin-top: 0px; padding-top: 1.6em; }"
        "QGroupBox::title { subcontrol-origin: padding; subcontrol-position: top left; left: 8px; top: 5px;"
        " font-weight: bold; }"));

    applyDateRules();

    connect(startdatum_, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        state().historyStartDate = d;
        einddatum_->setMinimumDate(d);
    });
    connect(check1_, &QCheckBox::toggled, this, [this](bool all) {
        if (all)
            einddatum_->setDate(today_);
        startdatum_->setEnabled(!all);
        einddatum_->setEnabled(!all);
    });
    connect(command1_, &QPushButton::clicked, this, &history::StartHistoryRun);
    connect(stop_, &QPushButton::clicked, this, &history::StopHistoryRun);
    connect(report_, &QPushButton::clicked, this, &history::showReport);
    connect(run_, &HistoryRun::statusChanged, this, [this](int bar, int panel, const QString& text) {
        if (bar == 1 && panel >= 1 && panel <= 3)
            panel1_[panel - 1]->setText(text);
        else if (bar == 2 && panel >= 1 && panel <= 4)
            panel2_[panel - 1]->setText(text);
    });
    connect(run_, &HistoryRun::progressChanged, this, [this](int value, int maximum) {
        progress_->setMaximum(std::max(maximum, 1));
        progress_->setValue(std::min(value, progress_->maximum()));
    });
    connect(run_, &HistoryRun::lockedChanged, this, &history::LockWindow);
}

history::~history() = default;

QDate history::lastTradingDay(const QDate& today)
{
    QDate day = today.addDays(-1);
    while (day.dayOfWeek() > 5)
        day = day.addDays(-1);
    return day;
}

QPair<QDate, QDate> history::defaultRange(const QDate& today)
{
    const QDate end = lastTradingDay(today);
    return {lastTradingDay(end), end};
}

// The pickers never go beyond today; the end never before the start; the
// start comes back as it was left, or the default range when it is not in
// the past.
void history::applyDateRules()
{
    today_ = clock();
    const auto [defaultStart, defaultEnd] = defaultRange(today_);
    QDate start = state().historyStartDate;
    if (!start.isValid() || start >= today_)
        start = defaultStart;
    startdatum_->setMaximumDate(today_);
    einddatum_->setMaximumDate(today_);
    startdatum_->setDate(start);
    einddatum_->setMinimumDate(start);
    einddatum_->setDate(std::max(start, defaultEnd));
}

void history::takeToday()
{
    const QDate today = clock();
    if (today == today_)
        return;
    // An end left on the last day the window knew moves on with the days.
    const bool endFollows = einddatum_->date() >= lastTradingDay(today_);
    today_ = today;
    startdatum_->setMaximumDate(today);
    einddatum_->setMaximumDate(today);
    if (check1_->isChecked())
        einddatum_->setDate(today);
    else if (endFollows)
        einddatum_->setDate(std::max(einddatum_->date(), lastTradingDay(today)));
}

bool history::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate || e->type() == QEvent::Show) {
        takeToday();
    } else if (e->type() == QEvent::ParentChange) {
        // As a window of the main window's work area it is activated
        // through its frame.
        if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
            connect(frame, &QMdiSubWindow::aboutToActivate, this, &history::takeToday, Qt::UniqueConnection);
    }
    return QWidget::event(e);
}

void history::StartHistoryRun()
{
    takeToday();
    run_->today = today_;
    run_->severalLists = choice_->severalChosen();
    run_->list = choice_->list();
    run_->startDate = startdatum_->date();
    run_->endDate = einddatum_->date();
    run_->allData = check1_->isChecked();
    run_->start();
}

void history::StopHistoryRun() { run_->stop(); }

void history::showReport()
{
    historyreportform report(this);
    report.exec();
    if (state().historyRetry)
        StartHistoryRun();
}

void history::LockWindow(bool locked)
{
    for (QWidget* w : std::initializer_list<QWidget*>{command1_, startdatum_, einddatum_, report_, check1_})
        w->setEnabled(!locked);
    choice_->setLocked(locked);
    stop_->setEnabled(locked);
    if (locked) {
        progress_->setRange(0, 1);
        progress_->setValue(0);
        return;
    }
    startdatum_->setEnabled(!check1_->isChecked());
    einddatum_->setEnabled(!check1_->isChecked());
    // A run that went through stays full, its outcome in the line below,
    // until the next run starts.
    const HistoryRunSummary& sum = run_->summary();
    if (!sum.aborted && !sum.nothingToDo && sum.quotesReceived > 0)
        progress_->setValue(progress_->maximum());
    if (!sum.nothingToDo)
        runrecord::note(true, sum.outcome());
}

void history::closeEvent(QCloseEvent* event)
{
    if (run_->running()) {
        state().refusedToClose = true;
        event->ignore();
        if (!closing_ && stopandclose::ask(QStringLiteral("Please first stop downloading"))) {
            closing_ = true;
            StopHistoryRun();
            stopandclose::closeWhenIdle(this, [this] { return !run_->running(); });
        }
        return;
    }
    event->accept();
}
