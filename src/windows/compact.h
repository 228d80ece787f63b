#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// "Compact/Repair Database": Start compacts the symbol database, then the
// window closes. The main window opens it after closing every other window,
// so that nothing else holds the database meanwhile.
class compact : public QDialog {
    Q_OBJECT
public:
    explicit compact(QWidget* parent = nullptr);

    // What Start does. True when the database was compacted.
    bool start();

private:
    QPushButton* command1_;
    QPushButton* command2_;
    QLabel* label1_;
};
