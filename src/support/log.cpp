#include "support/log.h"

#include "support/errors.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/state.h"

#include <QFile>
#include <memory>

namespace {
struct LogFile {
    std::unique_ptr<QFile> file;
    int handle = 0;
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
}  // namespace

void WriteLog(const QString& message)
{
    if (settings().teller4 == 0)
        return;
    LogFile& log = logFile();
    if (!log.file) {
        auto file = std::make_unique<QFile>(paths::logFile());
        if (!file->open(QIODevice::Append | QIODevice::WriteOnly))
            throw FileError(*file, QStringLiteral("Can not open file"));
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
        throw FileError(*log.file, QStringLiteral("Drive full"));
}

void ResetLog()
{
    closeLog();
    QFile file(paths::logFile());
    if (file.exists() && !file.remove())
        throw FileError(file, QStringLiteral("Can not open file"));
}

bool logIsOpen()
{
    return static_cast<bool>(logFile().file);
}
