#pragma once

// What the benchmarks measure with and the bars they store.

#include "core/bar.h"
#include "core/dates.h"
#include "database/startup.h"
#include "support/messages.h"
#include "support/paths.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace bench {

// VmHWM of this process in kB.
inline long peakKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// CPU seconds of this process so far: on a loaded machine the wall time
// says more about the neighbours than about the run.
inline double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU time of the calling thread: the run's own work, without other
// threads and whatever else the machine runs.
inline double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

inline qint32 dateOf(const QDate& d) { return core::dateNumber(d); }

// A price with two decimals, as the service sends them.
inline core::Figure price(qint64 cents)
{
    return core::Figure(QString::number(cents / 100) + u'.' + QString::number(cents % 100).rightJustified(2, u'0'),
                        static_cast<double>(cents) / 100.0);
}

// Day `i` of `symbol`: prices near those of the run benchmarks, volumes in
// the millions.
inline core::Bar barOf(const QDate& d, int symbol, int i)
{
    const qint64 base = 1000 + symbol % 9000 * 10 + (i * 37 + symbol) % 400;
    core::Bar b;
    b.date = dateOf(d);
    b.open = price(base);
    b.high = price(base + 35 + i % 20);
    b.low = price(base - 30 - i % 15);
    b.close = price(base + 12 - i % 25);
    const qint64 volume = 200000 + (qint64(symbol) * 7919 + i * 104729) % 9000000;
    b.volume = core::Figure(QString::number(volume), static_cast<double>(volume));
    return b;
}

// A benchmark's own data folder below a temporary folder, gone at its end:
// QUOTARIS_HOME and XDG_CONFIG_HOME there (HOME too with Home::Own), the
// messages answered by a script, and the start-up run on it (a fresh
// database). The user's data and settings are not touched.
class DataFolder {
public:
    enum class Home {
        Own,   // a home folder of its own
        Kept,  // the user's home folder: the desktop's caches stay warm
    };

    explicit DataFolder(Home home = Home::Own) : root_(dir_.path() + QLatin1Char('/'))
    {
        if (home == Home::Own) {
            qputenv("HOME", QFile::encodeName(root_ + QStringLiteral("home")));
            QDir().mkpath(root_ + QStringLiteral("home"));
        }
        qputenv("QUOTARIS_HOME", QFile::encodeName(root_ + QStringLiteral("data")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root_ + QStringLiteral("config")));
        setMessages(&messages_);
        QString error;
        opened_ = paths::ensureDataFolder(&error) && runStartup().opened;
        if (!opened_)
            std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(error));
    }
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;

    // False, said on stderr, when the database could not be made.
    bool opened() const { return opened_; }
    // The temporary folder, ending in "/": room for the formats' folders.
    const QString& root() const { return root_; }
    // What the benchmark's run showed.
    const ScriptedMessages& messages() const { return messages_; }

private:
    QTemporaryDir dir_;
    QString root_;
    ScriptedMessages messages_;
    bool opened_ = false;
};

}  // namespace bench
