#pragma once

#include <QString>

// One run at a time per data folder, across processes and within one: a
// run holds an exclusive advisory lock (flock) on the folder's lock file
// for its whole length. The lock dies with its process, so a killed run
// leaves none behind. The file names the holder for the refusal message.
class RunLock {
public:
    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock for `what` (a short text such as "download"). False
    // when another run holds it; `refusal` then says who.
    bool acquire(const QString& what, QString* refusal);
    void release();
    bool held() const { return fd_ >= 0; }

    // The lock file of the current data folder.
    static QString path();

private:
    int fd_ = -1;
};
