#pragma once

#include <QWidget>

class QLineEdit;

// "List names": the names of the sixteen lists, in the boxes "Text1_1" to
// "Text1_16".
class frmNames : public QWidget {
    Q_OBJECT
public:
    explicit frmNames(QWidget* parent = nullptr);

    // What OK does: stores every box as its list's name, then closes.
    void store();

private:
    void closeWindow();

    QLineEdit* text1_[17] = {};
};
