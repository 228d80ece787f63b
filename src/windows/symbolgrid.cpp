#include "windows/symbolgrid.h"

#include "writers/formatregistry.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <algorithm>
#include <numeric>

using listedit::Column;
using symbolstatus::FileState;

namespace {
// The name of a format's status column.
const char* shortName(QChar letter)
{
    const ExportFormat* format = formats::find(letter);
    return format ? format->shortName : "";
}
}  // namespace

SymbolGridModel::SymbolGridModel(QVector<Column> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns))
{
}

void SymbolGridModel::setRows(QVector<lists::Symbol> rows)
{
    beginResetModel();
    rows_ = std::move(rows);
    status_.clear();
    endResetModel();
}

void SymbolGridModel::setStatusFormats(QVector<QChar> letters)
{
    beginResetModel();
    letters_ = std::move(letters);
    status_.clear();
    endResetModel();
}

void SymbolGridModel::setStatus(int from, const QVector<symbolstatus::SymbolStatus>& status)
{
    if (from < 0 || status.isEmpty() || from + status.size() > rows_.size())
        return;
    if (status_.size() < rows_.size())
        status_.resize(rows_.size());
    std::copy(status.begin(), status.end(), status_.begin() + from);
    emit dataChanged(index(from, static_cast<int>(columns_.size())),
                     index(from + static_cast<int>(status.size()) - 1, columnCount() - 1));
}

const symbolstatus::SymbolStatus* SymbolGridModel::statusOf(int row) const
{
    if (row < 0 || row >= status_.size() || status_[row].ticker.isEmpty())
        return nullptr;
    return &status_[row];
}

QVariant SymbolGridModel::statusData(int row, int section, int role) const
{
    const symbolstatus::SymbolStatus* s = statusOf(row);
    const int at = section - static_cast<int>(columns_.size());
    if (!s || at < 0 || at > s->formats.size())
        return {};
    if (at == s->formats.size()) {
        // A provisional last day is shown beside the outcome, whatever it is.
        const bool provisional = s->provisional.isValid();
        switch (role) {
        case Qt::DisplayRole:
            return provisional
                       ? symbolstatus::outcomeText(s->outcome) + QStringLiteral(", ") +
                             symbolstatus::provisionalText() + QLatin1Char(' ') + s->provisional.toString(Qt::ISODate)
                       : symbolstatus::outcomeText(s->outcome);
        case Qt::ToolTipRole:
            return provisional ? QVariant(QStringLiteral("The last stored day was downloaded before its exchange "
                                                         "closed; a later download puts the final values in its place"))
                               : QVariant();
        case Qt::BackgroundRole:
            return provisional ? QVariant(QBrush(QColor(0xd8, 0xe8, 0xff))) : QVariant();
        case Qt::ForegroundRole:
            return provisional ? QVariant(QBrush(QColor(Qt::black))) : QVariant();
        default:
            return {};
        }
    }
    const symbolstatus::FormatDate& f = s->formats[at];
    switch (role) {
    case Qt::DisplayRole:
        return f.state == FileState::Missing ? QStringLiteral("missing") : f.last.toString(Qt::ISODate);
    case Qt::ToolTipRole:
        return f.state == FileState::Behind ? QStringLiteral("Behind: no new day for more than %1 trading days while "
                                                             "other symbols of the list have them")
                                                  .arg(symbolstatus::kBehindTradingDays)
               : f.state == FileState::Missing ? QStringLiteral("No file in this format, or no day in it")
                                               : QVariant();
    case Qt::BackgroundRole:
        if (f.state == FileState::Behind)
            return QBrush(QColor(0xff, 0xe0, 0xa0));
        if (f.state == FileState::Missing)
            return QBrush(QColor(0xff, 0xc0, 0xc0));
        return {};
    case Qt::ForegroundRole:
        return f.state == FileState::Ok ? QVariant() : QVariant(QBrush(QColor(Qt::black)));
    default:
        return {};
    }
}

void SymbolGridModel::sortByStatus(int section)
{
    const int at = section - static_cast<int>(columns_.size());
    if (!isStatusColumn(section) || at > letters_.size() || rows_.isEmpty())
        return;
    if (status_.size() < rows_.size())
        status_.resize(rows_.size());
    QVector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    const auto key = [this, at](int row) -> QString {
        const symbolstatus::SymbolStatus& s = status_[row];
        if (s.ticker.isEmpty())
            return QStringLiteral("~");  // not read yet: last
        if (at == s.formats.size())
            return symbolstatus::outcomeText(s.outcome);
        const QDate last = s.formats.value(at).last;
        return last.isValid() ? last.toString(Qt::ISODate) : QString();
    };
    std::stable_sort(order.begin(), order.end(), [&key](int a, int b) { return key(a) < key(b); });
    beginResetModel();
    QVector<lists::Symbol> rows;
    QVector<symbolstatus::SymbolStatus> status;
    for (int row : order) {
        rows.append(rows_[row]);
        status.append(status_[row]);
    }
    rows_ = std::move(rows);
    status_ = std::move(status);
    endResetModel();
}

int SymbolGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int SymbolGridModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return static_cast<int>(columns_.size() + (letters_.isEmpty() ? 0 : letters_.size() + 1));
}

QVariant SymbolGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    if (isStatusColumn(index.column()))
        return statusData(index.row(), index.column(), role);
    if (role == Qt::ToolTipRole)
        return QStringLiteral("Use SHIFT to select multiple Symbols");
    if (role != Qt::DisplayRole)
        return {};
    const lists::Symbol& r = rows_[index.row()];
    switch (columnAt(index.column())) {
    case Column::Market:
        return r.market;
    case Column::Symbol:
        return r.ticker;
    case Column::Name:
        return r.name;
    case Column::Type:
        return r.type;
    }
    return {};
}

QVariant SymbolGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (isStatusColumn(section)) {
        const int at = section - static_cast<int>(columns_.size());
        if (role == Qt::ToolTipRole)
            return at < letters_.size() ? QStringLiteral("The last day in the file of this format")
                                        : QStringLiteral("The outcome of the last download");
        if (role != Qt::DisplayRole)
            return {};
        return at < letters_.size() ? QStringLiteral("Last %1").arg(QLatin1String(shortName(letters_[at])))
                                    : QStringLiteral("Download");
    }
    if (role == Qt::ToolTipRole)
        return QStringLiteral("Doubleclick to sort column");
    if (role != Qt::DisplayRole)
        return {};
    switch (columns_[section]) {
    case Column::Market:
        return QStringLiteral("Market");
    case Column::Symbol:
        return QStringLiteral("Symbol");
    case Column::Name:
        return QStringLiteral("Name");
    case Column::Type:
        return QStringLiteral("Type");
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
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    // A click sorts; so does the double click the column titles mention.
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (model_->isStatusColumn(section))
            model_->sortByStatus(section);
        else
            emit sortRequested(model_->columnAt(section));
    });
    connect(horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, [this](int section) {
        if (!model_->isStatusColumn(section))
            emit sortRequested(model_->columnAt(section));
    });
    // Every column is as wide as its title and contents, the name takes
    // what is left: at the window's first size no column hides behind a
    // scroll bar.
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setResizeContentsPrecision(200);
    auto fit = [this] {
        for (int section = 0; section < model_->columnCount(); ++section) {
            const bool name = !model_->isStatusColumn(section) && model_->columnAt(section) == Column::Name;
            horizontalHeader()->setSectionResizeMode(section,
                                                     name ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
        }
    };
    connect(model_, &QAbstractItemModel::modelReset, this, fit);
    fit();
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
