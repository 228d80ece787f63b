#include "windows/findingslist.h"

#include "runs/findingsreport.h"

#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

QGroupBox* findingsFrame(const QVector<bookkeeping::FindingRow>& rows,
                         const QVector<findingsreport::RepairedDay>& repaired, const QString& frameName,
                         const QString& labelName, const QString& listName, QWidget* parent)
{
    auto* frame = new QGroupBox(parent);
    frame->setObjectName(frameName);
    auto* label = new QLabel(findingsreport::text().join(QLatin1Char('\n')), frame);
    label->setObjectName(labelName);
    label->setWordWrap(true);
    auto* view = new QTreeWidget(frame);
    view->setObjectName(listName);
    view->setRootIsDecorated(false);
    view->setHeaderLabels(findingsreport::columns());
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const bookkeeping::FindingRow& r : rows)
        view->addTopLevelItem(
            new QTreeWidgetItem({r.ticker, QLocale().toString(r.date, QLocale::ShortFormat), r.kind, r.seen, r.done}));
    for (int c = 0; c < 3; ++c)
        view->resizeColumnToContents(c);
    auto* column = new QVBoxLayout(frame);
    column->addWidget(label);
    column->addWidget(view, 1);
    if (repaired.isEmpty())
        return frame;
    auto* days = new QTreeWidget(frame);
    days->setObjectName(listName + QStringLiteral("Repaired"));
    days->setRootIsDecorated(false);
    days->setHeaderLabels(findingsreport::repairedColumns());
    const auto figures = [](const core::Bar& b) {
        return QStringList{b.open.text, b.high.text, b.low.text, b.close.text, b.volume.text}.join(u' ');
    };
    for (const findingsreport::RepairedDay& d : repaired) {
        const QDate date(d.written.date / 10000, d.written.date / 100 % 100, d.written.date % 100);
        days->addTopLevelItem(new QTreeWidgetItem(
            {d.ticker, QLocale().toString(date, QLocale::ShortFormat), figures(d.sent), figures(d.written)}));
    }
    for (int c = 0; c < 4; ++c)
        days->resizeColumnToContents(c);
    column->addWidget(days, 1);
    return frame;
}
