#pragma once

#include "runs/historyreport.h"

#include <QDialog>

class QAction;
class QPushButton;
class QTreeWidget;

// "Historical Download Report": the ranges the latest historical run got,
// did not get and timed out on, and the command that downloads the missing
// ones again. Filled when it is built.
class historyreportform : public QDialog {
    Q_OBJECT
public:
    explicit historyreportform(QWidget* parent = nullptr);

    // Command1 and the menu entry: ask the historical window for a retry
    // and close.
    void downloadMissing();

private:
    HistoryReport report_;
    QTreeWidget* listView_[4] = {};
    QPushButton* command1_ = nullptr;
    QAction* menumissing_ = nullptr;
};
