#pragma once

#include "support/formatsettings.h"

#include <QByteArray>
#include <QChar>
#include <QDate>
#include <QString>
#include <QTime>
#include <array>
#include <map>

// Every setting of the database's settings row and of the per-user store, as
// loaded at start-up. The initial values are the built-in defaults the program
// runs with when the database cannot be opened.
struct ProgramSettings {
    ProgramSettings();

    // The settings of each export format, by its letter (any case): what its
    // registry entry declares (switch, folder, long names, values of its
    // own), at their defaults until loaded.
    FormatSettings& format(QChar letter);
    const FormatSettings& format(QChar letter) const;
    FormatSettings& format(char letter) { return format(QLatin1Char(letter)); }
    const FormatSettings& format(char letter) const { return format(QLatin1Char(letter)); }

    // A folder setting kept, checked and written back; no format uses it.
    QString h7;
    // Kept and written back; no format reads them.
    bool select4 = false, select9 = false, select10 = false, select11 = false;

    int lijst = 1;     // current list, 1 to 16
    int teller2 = 10;  // request time-out in seconds
    int teller3 = 5;   // attempts per request
    int teller4 = 0;   // logging on when non-zero
    int teller5 = 1;   // convert old European quotes to euro when non-zero

    // Per-user store.
    QChar server = QLatin1Char('U');
    bool reject = true;
    std::array<QString, 17> listNames;  // 1..16
    std::array<bool, 17> dList{};       // selected for a several-lists download
    std::array<bool, 17> sList{};       // takes part in the scheduler
    std::array<QTime, 17> tList;        // scheduler start time
    std::array<QTime, 17> eList;        // scheduler end time
    std::array<QTime, 17> iList;        // scheduler interval
    int split = 0;
    int metaversion = 2000;
    bool multiplelists = false;
    int intervalDownload = 1500;
    bool isdelay = true;
    int helpversion = 0;
    int dcurrent = 0;
    // Hosts of the quote service, each "host" or "host:port", or "live": the
    // built-in gateway, which the start-up replaces by its address.
    QString quoteHost = QStringLiteral("live");
    QString quoteHostAU = QStringLiteral("live");
    QString quoteHostSG = QStringLiteral("live");
    QString chartHost = QStringLiteral("live");

private:
    // A format's entry is made at its defaults when first asked for.
    mutable std::map<QChar, FormatSettings> formats_;
};

// Process-wide state, touched only on the GUI thread.
struct ProcessState {
    ProgramSettings settings;
    QString runMessage;
    bool refusedToClose = false;  // a window refused the shut-down
    bool viewComponents = false;  // list window opened to view index components
    QDate historyStartDate;       // default start date of the historical window
    bool historyRetry = false;    // the next historical run downloads what the last one missed
    bool databaseOpened = false;  // the start-up routine could open the database
    QString gatewayAddress;       // "127.0.0.1:PORT" of the built-in gateway while it runs
    int updateChecks = 0;         // update checks made by download runs
};

ProcessState& state();
inline ProgramSettings& settings() { return state().settings; }

// The process state back to a fresh process's (used by tests, also to start
// the program again within one test).
void resetProcessState();

// Everything the support layer keeps beyond one run back to a fresh
// process's: the process state, the open files (closed), the log (closed, a
// failed write forgotten), the settings file (let go), and the data folder,
// installed help pages and desktop opener set for this process. The
// installed messages stay.
void resetSupportLayer();
