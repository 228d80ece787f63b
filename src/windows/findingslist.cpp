#include "windows/findingslist.h"

#include "runs/findingsreport.h"

#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

QGroupBox* findingsFrame(const QVector<bookkeeping::FindingRow>& rows, const QString& frameName,
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
    return frame;
}
