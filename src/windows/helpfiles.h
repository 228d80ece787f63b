#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QStatusBar;

// "Quotaris System message": offers the newer help files; Yes downloads them
// into the data folder's help/, showing each file in the status bar.
class helpfiles : public QDialog {
    Q_OBJECT
public:
    explicit helpfiles(QWidget* parent = nullptr);

    // What Yes does. True when every file was fetched.
    bool download();
    void ReportFailure(const QString& name);

private:
    QPushButton* command1_;
    QPushButton* command2_;
    QStatusBar* statusBar1_;
    QLabel* panel1_;
    QLabel* panel2_;
};
