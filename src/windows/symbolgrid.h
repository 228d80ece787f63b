#pragma once

#include "database/listedit.h"
#include "database/lists.h"
#include "runs/symbolstatus.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>
#include <QVector>

// The rows of one symbol query, as a grid shows them: the model holds the
// result and the view asks only for the cells it draws, so a market of tens
// of thousands of symbols shows at once.
class SymbolGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    SymbolGridModel(QVector<listedit::Column> columns, QObject* parent = nullptr);

    void setRows(QVector<lists::Symbol> rows);
    const QVector<lists::Symbol>& rows() const { return rows_; }
    listedit::Column columnAt(int section) const { return columns_.value(section); }
    // The sections after the symbol's own columns: one per format shown
    // with the last stored day, then the outcome of the last download.
    bool isStatusColumn(int section) const { return section >= columns_.size(); }

    // Status columns for the formats `letters`; none for an empty vector.
    void setStatusFormats(QVector<QChar> letters);
    const QVector<QChar>& statusFormats() const { return letters_; }
    // The status of rows [from, from + status.size()), in row order; the
    // rest keep theirs (blank until read).
    void setStatus(int from, const QVector<symbolstatus::SymbolStatus>& status);
    const symbolstatus::SymbolStatus* statusOf(int row) const;
    // Orders the rows by a status column: the oldest last day first (a
    // missing file before any day), or by the outcome's text; rows whose
    // status is not read yet go last. Ties keep their order.
    void sortByStatus(int section);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QVariant statusData(int row, int section, int role) const;

    QVector<listedit::Column> columns_;
    QVector<lists::Symbol> rows_;
    QVector<QChar> letters_;
    QVector<symbolstatus::SymbolStatus> status_;  // by row; a blank ticker: not read yet
};

class QItemSelectionModel;

// The first and last selected row of a grid, or (-1, -1) when none is: the
// operations take the whole block between them.
QPair<int, int> selectedSpan(const QItemSelectionModel* selection);

// A grid of symbols: whole rows selected, one contiguous block (shift
// extends it; control does not pick rows apart, because the operations take
// the block from the first to the last selected row), a click on a title
// sorts: the symbol's own columns by asking for it, the status columns here.
class SymbolGrid : public QTableView {
    Q_OBJECT
public:
    SymbolGrid(QVector<listedit::Column> columns, QWidget* parent = nullptr);

    SymbolGridModel* grid() const { return model_; }
    // The tickers from the first to the last selected row.
    QStringList selectedTickers() const;
    QStringList allTickers() const;

signals:
    void sortRequested(listedit::Column column);
    // A right-button release over the grid, at a global position.
    void popupRequested(const QPoint& globalPos);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    SymbolGridModel* model_;
};
