#include "support/log.h"

#include "support/errors.h"
#include "support/messages.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/state.h"

#include <QFile>
#include <memory>

namespace {
struct LogFile {
    std::unique_ptr<QFile> file;
    int handle = 0;
    bool failed = false;  // could not be written; quiet until the next ResetLog
};

LogFile& logFile()
{
    static LogFile log;
    return log;
}

void closeLog()
{
    LogFile& log = logFile();
    if (log.file) {
        log.file->close();
        log.file.reset();
    }
    if (log.handle) {
        openfiles::remove(log.handle);
        log.handle = 0;
    }
}
// The log is written from everywhere, also from timer and network handlers
// that must not throw: a log that cannot be written is reported once and
// then left alone until the next run starts a new one.
void logFailed(const QFileDevice& file, const QString& what)
{
    const FileError error(file, what);
    closeLog();
    LogFile& log = logFile();
    if (log.failed)
        return;
    log.failed = true;
    msgBox(QStringLiteral("The log file cannot be written (") + error.description() +
           QStringLiteral("). The download goes on without a log."));
}
}  // namespace

void WriteLog(const QString& message)
{
    if (settings().teller4 == 0)
        return;
    LogFile& log = logFile();
    if (log.failed)
        return;
    if (!log.file) {
        auto file = std::make_unique<QFile>(paths::logFile());
        if (!file->open(QIODevice::Append | QIODevice::WriteOnly)) {
            logFailed(*file, QStringLiteral("Can not open file"));
            return;
        }
        log.file = std::move(file);
        log.handle = openfiles::add([] {
            LogFile& l = logFile();
            l.handle = 0;  // the registry already dropped us
            if (l.file) {
                l.file->close();
                l.file.reset();
            }
        });
    }
    const QByteArray line = message.toLatin1() + "\r\n";
    if (log.file->write(line) != line.size() || !log.file->flush())
        logFailed(*log.file, QStringLiteral("Drive full"));
}

void ResetLog()
{
    closeLog();
    logFile().failed = false;
    QFile file(paths::logFile());
    if (file.exists() && !file.remove() && settings().teller4 != 0)
        logFailed(file, QStringLiteral("Can not open file"));
}

void forgetLog()
{
    closeLog();
    logFile().failed = false;
}

bool logIsOpen() { return static_cast<bool>(logFile().file); }
