#pragma once

#include "runs/currentreport.h"

#include <QDialog>

class QTreeWidget;
class QPushButton;

// "Current Download Report": the failed, not-found, changed and rejected
// symbols of the latest current-quote run, and the removal of the not-found
// ones. Filled when it is built.
class reportform : public QDialog {
    Q_OBJECT
public:
    explicit reportform(QWidget* parent = nullptr);

    // What Command1 does: the removal of the not-found symbols.
    void removeSymbols();

private:
    void fill();

    CurrentReport report_;
    QTreeWidget* listView_[6] = {};  // 1-4: the tables; 5: the gap lines (ListView6)
    QPushButton* command1_ = nullptr;
};
