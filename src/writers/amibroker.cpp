#include "writers/amibroker.h"

#include "support/log.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/yield.h"
#include "writers/runfiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace amibroker {

namespace {
const QString kSucceeded = QStringLiteral("Export to Amibroker succeeded");
const QString kFailed = QStringLiteral("Export to Amibroker failed");

QString substitute(const QString& word, const QString& file, bool* usedFile)
{
    QString out;
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar c = word.at(i);
        const QChar next = i + 1 < word.size() ? word.at(i + 1) : QChar();
        if (c == QLatin1Char('%') && next == QLatin1Char('f')) {
            out += file;
            *usedFile = true;
            ++i;
        } else if (c == QLatin1Char('%') && next == QLatin1Char('d')) {
            out += kDefinition;
            ++i;
        } else if (c == QLatin1Char('%') && next == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

// Quote lines of the staging file: its lines without the header.
// The lines of the staging file that carry a quote (not blank, not the
// header), read line by line: a historical run stages hundreds of megabytes.
int quoteLines(QFile& file)
{
    int n = 0;
    while (!file.atEnd()) {
        const QByteArray l = file.readLine().trimmed();
        if (!l.isEmpty() && l != runfiles::kStagingHeader)
            ++n;
    }
    return n;
}
}  // namespace

QString importCommand() { return store::read(kStoreKey, QString()).trimmed(); }

int importTimeoutSeconds()
{
    bool ok = false;
    const int seconds = store::read(kTimeoutKey, QString()).trimmed().toInt(&ok);
    return ok && seconds >= 0 ? seconds : kDefaultTimeoutSeconds;
}

void setImportCommand(const QString& command)
{
    store::write(kStoreKey, command.trimmed());
    store::sync();
}

QStringList commandLine(const QString& command, const QString& file)
{
    const QStringList words = QProcess::splitCommand(command);
    if (words.isEmpty())
        return {};
    bool usedFile = false;
    QStringList out;
    out << words.first();
    for (qsizetype i = 1; i < words.size(); ++i)
        out << substitute(words[i], file, &usedFile);
    if (!usedFile)
        out << file << kDefinition;
    return out;
}

bool presenceTest(const QString& command, QString* why)
{
    auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    const QStringList line = commandLine(command, QString());
    if (line.isEmpty())
        return fail(QStringLiteral("No import command is set"));
    const QString program = line.first();
    if (program.contains(QLatin1Char('/'))) {
        const QFileInfo info(program);
        if (!info.isFile() || !info.isExecutable())
            return fail(QStringLiteral("The import program is not an executable file: ") + program);
    } else if (QStandardPaths::findExecutable(program).isEmpty()) {
        return fail(QStringLiteral("The import program is not on the PATH: ") + program);
    }
    return true;
}

ImportResult Import()
{
    ImportResult result;
    yieldToGui();
    const QString file = paths::dataFile(QStringLiteral("ami2.txt"));
    QFile staging(file);
    if (!staging.open(QIODevice::ReadWrite))  // creates a missing file, as a run would
        return result;
    if (staging.size() == 0)
        return result;
    result.started = true;
    result.quotes = quoteLines(staging);
    staging.close();

    const QStringList line = commandLine(importCommand(), QFileInfo(file).absoluteFilePath());
    if (!line.isEmpty()) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setProgram(line.first());
        process.setArguments(line.mid(1));
        WriteLog(QStringLiteral("Starting ") + line.join(QLatin1Char(' ')));
        process.start();
        if (process.waitForStarted(10000)) {
            const int limit = importTimeoutSeconds();
            const bool finished = waitUntil([&process] { return process.state() == QProcess::NotRunning; },
                                            limit > 0 ? limit * 1000 : -1, AbortFlag::Honour);
            if (!finished) {
                if (!state().abortFlag) {
                    result.timedOut = true;
                    WriteLog(QStringLiteral("The import command did not end within %1 s; it is ended").arg(limit));
                }
                // Stopped by the user or out of time: give the command a moment, then end it.
                process.terminate();
                if (!process.waitForFinished(3000)) {
                    process.kill();
                    process.waitForFinished(3000);
                }
            } else {
                result.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
            }
        }
    }
    result.line =
        (result.ok ? kSucceeded : kFailed) +
        (result.timedOut ? QStringLiteral(" (the import command did not end within %1 s)").arg(importTimeoutSeconds())
                         : QString()) +
        QStringLiteral("\r\n");
    WriteLog(result.ok ? kSucceeded : kFailed);
    return result;
}

}  // namespace amibroker
