#include "windows/symbolgrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>

using listedit::Column;

SymbolGridModel::SymbolGridModel(QVector<Column> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns))
{
}

void SymbolGridModel::setRows(QVector<lists::Symbol> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int SymbolGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SymbolGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant SymbolGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    if (role == Qt::ToolTipRole)
        return QStringLiteral("Use SHIFT to select multiple Symbols");
    if (role != Qt::DisplayRole)
        return {};
    const lists::Symbol& r = rows_[index.row()];
    switch (columnAt(index.column())) {
    case Column::Market: return r.market;
    case Column::Symbol: return r.ticker;
    case Column::Name: return r.name;
    case Column::Type: return r.type;
    }
    return {};
}

QVariant SymbolGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size())
        return {};
    if (role == Qt::ToolTipRole)
        return QStringLiteral("Doubleclick to sort column");
    if (role != Qt::DisplayRole)
        return {};
    switch (columns_[section]) {
    case Column::Market: return QStringLiteral("Market");
    case Column::Symbol: return QStringLiteral("Symbol");
    case Column::Name: return QStringLiteral("Name");
    case Column::Type: return QStringLiteral("Type");
    }
    return {};
}

SymbolGrid::SymbolGrid(QVector<Column> columns, QWidget* parent)
    : QTableView(parent), model_(new SymbolGridModel(std::move(columns), this))
{
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    verticalHeader()->setVisible(false);
    // Fixed row heights: the view never measures the rows it does not draw.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    connect(horizontalHeader(), &QHeaderView::sectionDoubleClicked, this,
            [this](int section) { emit sortRequested(model_->columnAt(section)); });
}

QPair<int, int> selectedSpan(const QItemSelectionModel* selection)
{
    const QModelIndexList chosen = selection->selectedRows();
    if (chosen.isEmpty())
        return {-1, -1};
    int first = chosen.first().row(), last = first;
    for (const QModelIndex& i : chosen) {
        first = std::min(first, i.row());
        last = std::max(last, i.row());
    }
    return {first, last};
}

QStringList SymbolGrid::selectedTickers() const
{
    const auto [first, last] = selectedSpan(selectionModel());
    if (first < 0)
        return {};
    QStringList tickers;
    const auto& rows = model_->rows();
    for (int r = first; r <= last && r < rows.size(); ++r)
        tickers << rows[r].ticker;
    return tickers;
}

QStringList SymbolGrid::allTickers() const
{
    QStringList tickers;
    for (const lists::Symbol& r : model_->rows())
        tickers << r.ticker;
    return tickers;
}

void SymbolGrid::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::RightButton)
        emit popupRequested(event->globalPosition().toPoint());
}
