#include "windows/historyreportform.h"

#include "support/state.h"
#include "windows/chartwindow.h"
#include "windows/findingslist.h"
#include "windows/helpkey.h"
#include "windows/runrecord.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

historyreportform::historyreportform(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("historyreportform"));
    setWindowTitle(QStringLiteral("Historical Download Report"));
    helpkey::setPage(this, QStringLiteral("historyreport.htm"));
    report_.load();

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QMenuBar(this);
    QMenu* menu = bar->addMenu(QStringLiteral("&Download"));
    menumissing_ = menu->addAction(QStringLiteral("&Download Missing Quotes"));
    menumissing_->setObjectName(QStringLiteral("menumissing"));
    layout->setMenuBar(bar);

    const QStringList texts[4] = {
        {}, HistoryReport::downloadedText(), HistoryReport::notDownloadedText(), HistoryReport::timedOutText()};
    const QVector<HistoryReport::Entry>* entries[4] = {nullptr, &report_.downloaded, &report_.notDownloaded,
                                                       &report_.timedOut};
    for (int n = 1; n <= 3; ++n) {
        auto* frame = new QGroupBox(this);
        frame->setObjectName(QStringLiteral("Frame%1").arg(n));
        auto* label = new QLabel(texts[n].join(QLatin1Char('\n')), frame);
        label->setObjectName(QStringLiteral("Label%1").arg(n + 1));
        auto* view = new QTreeWidget(frame);
        view->setObjectName(QStringLiteral("ListView%1").arg(n));
        view->setRootIsDecorated(false);
        view->setHeaderLabels({QStringLiteral("Symbol"), QStringLiteral("Start Date"), QStringLiteral("End Date")});
        for (const HistoryReport::Entry& e : *entries[n]) {
            view->addTopLevelItem(new QTreeWidgetItem({e.ticker, QLocale().toString(e.start, QLocale::ShortFormat),
                                                       QLocale().toString(e.end, QLocale::ShortFormat)}));
        }
        listView_[n] = view;
        auto* column = new QVBoxLayout(frame);
        column->addWidget(label);
        column->addWidget(view, 1);
        layout->addWidget(frame, 1);
    }
    layout->addWidget(findingsFrame(report_.findings, report_.repaired, QStringLiteral("Frame4"),
                                    QStringLiteral("Label5"), QStringLiteral("ListView4"), this),
                      1);
    command1_ = new QPushButton(QStringLiteral("Click to download the missing quotes"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    layout->addWidget(command1_);
    auto* outcome = new QLabel(runrecord::last(true), this);
    outcome->setObjectName(QStringLiteral("lblOutcome"));
    outcome->setWordWrap(true);
    outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(outcome);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
    close->setObjectName(QStringLiteral("CommandClose"));
    auto* chart = close->addButton(QStringLiteral("Show c&hart"), QDialogButtonBox::ActionRole);
    chart->setObjectName(QStringLiteral("cmdChart"));
    chart->setToolTip(
        QStringLiteral("The chart of the chosen symbol as the export files hold it (or double-click it)"));
    offerCharts(this, {listView_[1], listView_[2], listView_[3]}, chart);
    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(close);
    command1_->setEnabled(report_.missing());
    menumissing_->setEnabled(report_.missing());
    connect(command1_, &QPushButton::clicked, this, &historyreportform::downloadMissing);
    connect(menumissing_, &QAction::triggered, this, &historyreportform::downloadMissing);
    resize(640, 800);
}

void historyreportform::downloadMissing()
{
    state().historyRetry = true;
    accept();
}
