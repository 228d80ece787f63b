#include "windows/reportform.h"
#include "windows/chartwindow.h"
#include "windows/findingslist.h"
#include "windows/helpkey.h"
#include "windows/runrecord.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QTreeWidget* listView(int n, const QStringList& columns, QWidget* parent)
{
    auto* view = new QTreeWidget(parent);
    view->setObjectName(QStringLiteral("ListView%1").arg(n));
    view->setRootIsDecorated(false);
    view->setHeaderLabels(columns);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSortingEnabled(false);  // keeps the order the tables give
    return view;
}

void fillList(QTreeWidget* view, const QStringList& tickers)
{
    view->clear();
    for (const QString& ticker : tickers)
        view->addTopLevelItem(new QTreeWidgetItem(QStringList{ticker}));
}

}  // namespace

reportform::reportform(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("reportform"));
    helpkey::setPage(this, QStringLiteral("currentreport.htm"));
    setWindowTitle(QStringLiteral("Current Download Report"));

    report_.load();
    const QStringList symbol{QStringLiteral("Symbol")};
    listView_[1] = listView(1, symbol, this);
    listView_[2] = listView(2, symbol, this);
    listView_[3] = listView(3, {QStringLiteral("Old Symbol"), QStringLiteral("New Symbol")}, this);
    listView_[4] = listView(4, symbol, this);

    // Frame n holds ListView n and the label that explains it.
    const int labelOf[5] = {0, 3, 4, 2, 1};
    const QStringList texts[5] = {{},
                                  CurrentReport::failedText(),
                                  CurrentReport::notFoundText(),
                                  CurrentReport::changedText(),
                                  CurrentReport::rejectedText()};
    auto* grid = new QGridLayout(this);
    for (int n = 1; n <= 4; ++n) {
        auto* frame = new QGroupBox(this);
        frame->setObjectName(QStringLiteral("Frame%1").arg(n));
        auto* label = new QLabel(texts[n].join(QLatin1Char('\n')), frame);
        label->setObjectName(QStringLiteral("Label%1").arg(labelOf[n]));
        label->setWordWrap(true);
        auto* column = new QVBoxLayout(frame);
        column->addWidget(label);
        column->addWidget(listView_[n], 1);
        if (n == 2) {
            command1_ = new QPushButton(QStringLiteral("&Remove Symbols from Database"), frame);
            command1_->setObjectName(QStringLiteral("Command1"));
            column->addWidget(command1_);
            connect(command1_, &QPushButton::clicked, this, &reportform::removeSymbols);
        }
        grid->addWidget(frame, (n - 1) / 2, (n - 1) % 2);
    }
    grid->addWidget(findingsFrame(report_.findings, report_.repaired, QStringLiteral("Frame5"),
                                  QStringLiteral("Label5"), QStringLiteral("ListView5"), this),
                    2, 0, 1, 2);
    // The gap fill after the run: its lines as the headless report prints
    // them, shown only when the run left some.
    auto* gapFrame = new QGroupBox(this);
    gapFrame->setObjectName(QStringLiteral("Frame6"));
    auto* gapLabel = new QLabel(CurrentReport::gapsText(), gapFrame);
    gapLabel->setObjectName(QStringLiteral("Label6"));
    listView_[5] = listView(6, {QStringLiteral("Symbol: days")}, gapFrame);
    auto* gapColumn = new QVBoxLayout(gapFrame);
    gapColumn->addWidget(gapLabel);
    gapColumn->addWidget(listView_[5], 1);
    gapFrame->setVisible(!report_.gaps.isEmpty());
    grid->addWidget(gapFrame, 3, 0, 1, 2);
    // The last run's outcome, which says what failed when the service did.
    auto* outcome = new QLabel(runrecord::last(false), this);
    outcome->setObjectName(QStringLiteral("lblOutcome"));
    outcome->setWordWrap(true);
    outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName(QStringLiteral("CommandClose"));
    auto* chart = buttons->addButton(QStringLiteral("Show c&hart"), QDialogButtonBox::ActionRole);
    chart->setObjectName(QStringLiteral("cmdChart"));
    chart->setToolTip(
        QStringLiteral("The chart of the chosen symbol as the export files hold it (or double-click it)"));
    // The changed symbols' files carry the new ticker.
    offerCharts(this, {listView_[1], listView_[2], listView_[4]}, chart);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    grid->addWidget(outcome, 4, 0, 1, 2);
    grid->addWidget(buttons, 5, 0, 1, 2);
    resize(720, 720);
    fill();
}

void reportform::fill()
{
    fillList(listView_[1], report_.failed);
    fillList(listView_[2], report_.notFound);
    listView_[3]->clear();
    for (const CurrentReport::Change& change : report_.changed)
        listView_[3]->addTopLevelItem(new QTreeWidgetItem(QStringList{change.oldTicker, change.newTicker}));
    fillList(listView_[4], report_.rejected);
    fillList(listView_[5], report_.gaps);
    command1_->setEnabled(!report_.notFound.isEmpty());
}

void reportform::removeSymbols()
{
    if (report_.removeNotFound()) {
        listView_[2]->clear();
        command1_->setEnabled(false);
    }
}
