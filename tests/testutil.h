#pragma once

#include "support/messages.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>

// Failed comparisons show texts as texts.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

// Gives every test its own data folder, settings file and home folder, a
// fresh process state (resetSupportLayer, before and after the test; what
// the other layers keep ends with its owner) and scripted messages that
// record what was shown.
class QuotarisTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString home() const;                         // the fake home folder, ending in "/"
    QString dataFolder() const;                   // the data folder, created
    QString path(const QString& relative) const;  // inside the temporary root

    // Runs against the fake service: no delay between requests, `timeout`
    // seconds a request, one attempt, the download of one list.
    static void quickRuns(int timeout);
    // Switches format `letter` on, writing into the folder `name` below the
    // temporary root (made); returns that folder, ending in "/".
    QString formatOn(char letter, const QString& name) const;

    QTemporaryDir root;
    ScriptedMessages msgs;

private:
    QByteArray savedHome_, savedData_, savedConfig_;
};

// The program binary run as a child process with the test's environment.
// The event loop keeps turning meanwhile, so a fake service in the test
// process can answer it.
struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
    QStringList lines() const;  // the non-empty lines of out
};
ProgramRun runQuotaris(const QStringList& args, int timeoutMs = 60000);

// Helpers for files.
QByteArray readAll(const QString& file);
void writeFile(const QString& file, const QByteArray& bytes);

// A full disk, two ways. FileSizeLimit lowers this process's file-size limit
// for its life (a write past it fails with "File too large", as a write to a
// full disk fails), anywhere. SmallDisk mounts a tmpfs of its own on a
// folder (needs the right to mount), for child processes and the real
// "No space left on device".
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct Saved;
    Saved* saved_;
};

class SmallDisk {
public:
    SmallDisk(const QString& folder, int kilobytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    // Fills the disk until only about `bytes` (whole pages) are free.
    void fill(qint64 bytes);

private:
    QString folder_;
    bool mounted_ = false;
};
