#pragma once

#include "database/listedit.h"
#include "runs/symbolstatus.h"

#include <QWidget>
#include <array>
#include <memory>

class QComboBox;
class QTimer;
class QLabel;
class QPushButton;
class Database;
class SymbolGrid;

// The list management window: the symbols of one market on the left, those
// of the current list on the right, buttons to fill and empty the list. The
// same window in its view-components layout offers the indices, whose
// members the symbol search window then shows. The right-click menus are
// the main window's; it connects popupRequested and calls back.
class marketform : public QWidget {
    Q_OBJECT
public:
    explicit marketform(bool viewComponents = false, QWidget* parent = nullptr);
    ~marketform() override;

    bool viewComponentsMode() const { return viewComponents_; }
    int currentList() const { return list_; }
    int marketId() const;  // 0 when no market is chosen
    QString marketName() const;

    SymbolGrid* gridfondsen() const { return gridfondsen_; }
    SymbolGrid* gridlijst() const { return gridlijst_; }

    // The buttons: 0 add selected, 1 add all, 2 remove all, 3 remove
    // selected, 4 remove from database.
    void Command1(int index);
    void commandview();
    void lijstenvullen();
    void marketVullen();
    void kopieernaarlijst(int m, bool all, bool move);
    void verwijdervandatabase();
    // The chart of the first selected symbol of the list grid.
    void showChart();
    // True while the status columns of the list grid are still being read.
    bool readingStatus() const;

signals:
    // 1: the market grid, 2: the list grid.
    void popupRequested(int grid, const QPoint& globalPos);
    // Show the members of `index` in the symbol search window.
    void viewComponentsRequested(const QString& index);
    // Show the chart of `ticker`.
    void chartRequested(const QString& ticker);

private:
    void fillMarkets();
    void chooseList(int index);
    void updateToolTips();
    void updateButtons();
    // The status columns: read a slice of the list's symbols per turn of
    // the event loop, so a list of thousands stays responsive.
    void startStatus();
    void readStatusSlice();
    // The rows `query` reads on the window's connection; none when the
    // database failed and the user gave up.
    template <typename Query>
    QVector<lists::Symbol> read(Query query);

    std::unique_ptr<Database> db_;
    bool viewComponents_;
    int list_ = 1;
    QVector<lists::SortKey> listOrder_;
    QVector<lists::SortKey> marketOrder_;
    QComboBox* combobox1_;
    QComboBox* combobox2_;
    SymbolGrid* gridfondsen_;
    SymbolGrid* gridlijst_;
    QLabel* lblSymbolmarket_;
    QLabel* lblsymbollist_;
    std::array<QPushButton*, 5> command1_{};
    QPushButton* commandview_;
    QTimer* statusTimer_;
    std::unique_ptr<symbolstatus::StatusReader> statusReader_;
    QVector<symbolstatus::SymbolStatus> status_;
};
