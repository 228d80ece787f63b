#include "support/appendjournal.h"

#include "support/log.h"
#include "support/paths.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace appendjournal {

namespace {

// Cuts `file` back to the end of its last line; true when it did.
bool cutBack(const QString& file)
{
    const QByteArray name = QFile::encodeName(file);
    const int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool cut = false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        // Back from the end, a block at a time, to the last line break.
        constexpr off_t kBlock = 4096;
        off_t end = st.st_size;
        off_t keep = -1;
        char buffer[kBlock];
        while (end > 0 && keep < 0) {
            const off_t from = end > kBlock ? end - kBlock : 0;
            const ssize_t n = ::pread(fd, buffer, static_cast<size_t>(end - from), from);
            if (n != end - from)
                break;
            if (end == st.st_size && buffer[n - 1] == '\n') {
                keep = st.st_size;  // ends whole
                break;
            }
            for (ssize_t i = n - 1; i >= 0; --i) {
                if (buffer[i] == '\n') {
                    keep = from + i + 1;
                    break;
                }
            }
            end = from;
        }
        if (keep < 0 && end == 0)
            keep = 0;  // not one whole line
        if (keep >= 0 && keep < st.st_size && ::ftruncate(fd, keep) == 0 && ::fdatasync(fd) == 0)
            cut = true;
    }
    ::close(fd);
    return cut;
}

}  // namespace

QString path() { return paths::dataFile(QStringLiteral("quotaris.appends")); }

void enter(const QString& file)
{
    QFile journal(path());
    // Without a journal the file is written all the same; only its mending
    // after a kill is lost.
    if (journal.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        journal.write(file.toUtf8() + '\n');
}

void clear() { QFile::remove(path()); }

QStringList mend()
{
    QFile journal(path());
    if (!journal.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = journal.readAll();
    journal.close();
    QStringList cut;
    // A name the kill cut short was entered before its file's first write:
    // that file was not written.
    const qsizetype whole = bytes.lastIndexOf('\n') + 1;
    for (const QByteArray& line : bytes.left(whole).split('\n')) {
        if (line.isEmpty())
            continue;
        const QString file = QString::fromUtf8(line);
        if (!cut.contains(file) && cutBack(file)) {
            WriteLog(QStringLiteral("Cut back the last line a stopped run left unfinished in ") + file);
            cut << file;
        }
    }
    clear();
    return cut;
}

}  // namespace appendjournal
