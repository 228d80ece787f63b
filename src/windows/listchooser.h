#pragma once

class QComboBox;
class QWidget;

// The list chooser "Combo1" of the list windows: the sixteen lists as
// "list n - name", starting on the current list; picking an entry makes it
// the current list.
QComboBox* makeListChooser(QWidget* parent);

#include <QObject>

class QGridLayout;
class QLabel;
class QPushButton;
class QRadioButton;

// What a download window's run takes: "Download List:" with the list box
// (Combo3), or "Download Lists:" with "..." (Command3, the list-choice
// window) and the names of the chosen lists. Every change is stored at
// once. The list box shows the current list again whenever the window is
// shown or becomes the active one, also as a window of the main window's
// work area.
class ListChoice : public QObject {
public:
    // The controls in `box`; the two option buttons and the label get the
    // window's own object names.
    ListChoice(QWidget* box, const char* oneName, const char* severalName, const char* namesName);

    QRadioButton* one;
    QRadioButton* several;
    QComboBox* combo;
    QPushButton* choose;
    QLabel* names;

    // The controls on rows `row` and `row + 1` of `layout`, columns 0-2.
    void addTo(QGridLayout* layout, int row = 0);
    // Keeps the list box on the current list while `window` is in use.
    void follow(QWidget* window);
    // All controls withdrawn while locked; otherwise those of the chosen way.
    void setLocked(bool locked);

    bool severalChosen() const;
    int list() const;  // 1-16, from the list box

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCurrentList();
    void enableChosen();
};
