#pragma once

#include <QDateTime>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QLabel;
class QPushButton;

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
    // Symbols of the quote store with open gaps (missing sessions or earlier
    // days still provisional) over the last kGapDays; -1 without a store.
    int gapSymbols = -1;
    static constexpr int kGapDays = 92;

    bool listsEmpty() const;
    static StartInfo gather();
    // The symbols of the quote store at `path` with open gaps from `from`
    // (YYYYMMDD) on, each among the sessions of its exchange; -1 when there
    // is no store there or it cannot be read.
    static int countGapSymbols(const QString& path, qint32 from);
};

// Shown in the main window while no other window is open: what to do next
// and where things stand, with buttons for the first steps while they are
// missing.
class StartPage : public QWidget {
    Q_OBJECT
public:
    explicit StartPage(QWidget* parent = nullptr);

    // Reads the state again and shows it.
    void refresh();

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
    QPushButton *import_, *search_, *formatsButton_, *listsButton_, *download_, *fillGaps_;
};
