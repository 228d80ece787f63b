#pragma once

#include <QDateTime>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
namespace gapfill {
class GapCount;
}

// Where things stand, for the start page: what a download needs and what
// the last runs did. Read from the database and the settings, no window.
struct StartInfo {
    struct List {
        int number = 0;
        QString name;
        int symbols = 0;
    };
    QVector<List> lists;  // the lists that hold symbols or have a name
    int symbols = 0;      // symbols in the database
    QStringList formats;  // "Caption: folder" of every format that is on
    QString lastCurrent;  // "time: outcome" of the last current run; empty: none yet
    QString lastHistory;  // the same for the last historical run
    QString schedule;     // the lists of the daily schedule and their first time
    bool listsEmpty() const;
    static StartInfo gather();
};

// Shown in the main window while no other window is open: what to do next
// and where things stand, with buttons for the first steps while they are
// missing.
class StartPage : public QWidget {
    Q_OBJECT
public:
    explicit StartPage(QWidget* parent = nullptr);

    // Reads the state again and shows it; the gaps only when the store or
    // the database changed (gapfill::GapCount).
    void refresh();
    // A gap fill started by "Fill gaps" is going.
    bool filling() const;
    gapfill::GapCount& gapCount() const { return *gapCount_; }

signals:
    void importRequested();
    void searchRequested();
    void formatsRequested(QPushButton* button);
    void listsRequested();
    void downloadRequested();

private:
    QLabel* next_;
    QLabel* lists_;
    QLabel* formats_;
    QLabel* runs_;
    QLabel* gaps_;
    QPushButton *import_, *search_, *formatsButton_, *listsButton_, *download_, *fillGaps_, *stopGaps_;
    QProgressBar* gapProgress_;
    gapfill::GapCount* gapCount_;

    void showGaps();
};
