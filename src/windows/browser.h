#pragma once

#include "runs/symbolsearch.h"

#include <QWidget>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class SymbolGrid;

// The symbol search window: finds securities on the quote service (by name,
// exact symbol, or the members of an index) or in the local database, shows
// whether each is in the database, and adds them to it and to lists. The
// right-click menus are the main window's.
class browser : public QWidget {
    Q_OBJECT
public:
    explicit browser(QWidget* parent = nullptr);
    ~browser() override;

    bool internetMode() const;
    SymbolSearch& search() { return search_; }
    QTableWidget* resultGrid() const { return mshFlexGrid1_; }
    SymbolGrid* localGrid() const { return mshFlexGrid2_; }

    // Command1: the search in the chosen mode.
    void Command1();
    // Shows the members of an index, from the first page.
    void showComponents(const QString& index);
    void next50();
    void previous50();
    // Commandaddselected; `quiet` leaves out the closing message.
    int addSelected(bool quiet = false);
    void addAll();
    // Puts the chosen local rows on list n.
    void lijsttoevoegen(int n);
    // Adds the chosen results to the database where needed and puts them on
    // list n.
    void lijsttoevoegen2(int n);

    // The rows of the result grid from the first to the last chosen one.
    QVector<int> selectedResultRows() const;
    // The ticker of the one chosen row of the grid of `popup` (3 results,
    // 4 local), or empty when several or none are chosen.
    QString singleChosenTicker(int popup) const;

signals:
    // 3: over the result grid, 4: over the local grid.
    void popupRequested(int popup, const QPoint& globalPos);
    // Symbols were put on a list.
    void listsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setMode();
    void internetsearch();
    void showHits();
    void updateAddButtons();
    void showLocal(const QVector<lists::Symbol>& rows);

    SymbolSearch search_;
    QLineEdit* text1_;
    QPushButton* command1_;
    QRadioButton* option1_;
    QRadioButton* option2_;
    QRadioButton* option3_;
    QRadioButton* option4_;
    QRadioButton* option5_;
    QComboBox* combo1_;
    QGroupBox* frame2_;
    QLabel* problem_;
    QTableWidget* mshFlexGrid1_;
    SymbolGrid* mshFlexGrid2_;
    QPushButton* commandPrevious50_;
    QPushButton* commandNext50_;
    QPushButton* commandaddselected_;
    QPushButton* commandAddAll_;
};
