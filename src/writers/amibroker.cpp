#include "writers/amibroker.h"

#include "support/log.h"
#include "support/paths.h"
#include "support/settingsstore.h"
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

Importer::Importer(QObject* parent) : QObject(parent)
{
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] {
        result_.timedOut = true;
        WriteLog(QStringLiteral("The import command did not end within %1 s; it is ended").arg(importTimeoutSeconds()));
        endCommand();
        conclude();
    });
}

Importer::~Importer()
{
    if (process_)
        endCommand();
}

void Importer::start()
{
    if (running_)
        return;
    running_ = true;
    result_ = ImportResult();
    const QString file = paths::dataFile(QStringLiteral("ami2.txt"));
    QFile staging(file);
    // Opening creates a missing file, as a run would.
    if (!staging.open(QIODevice::ReadWrite) || staging.size() == 0) {
        QTimer::singleShot(0, this, [this] {
            running_ = false;
            emit done();
        });
        return;
    }
    result_.started = true;
    result_.quotes = quoteLines(staging);
    staging.close();

    const QStringList line = commandLine(importCommand(), QFileInfo(file).absoluteFilePath());
    if (line.isEmpty()) {
        conclude();
        return;
    }
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    process_->setProgram(line.first());
    process_->setArguments(line.mid(1));
    connect(process_.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        result_.ok = status == QProcess::NormalExit && code == 0;
        conclude();
    });
    connect(process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            conclude();
    });
    WriteLog(QStringLiteral("Starting ") + line.join(QLatin1Char(' ')));
    if (const int limit = importTimeoutSeconds(); limit > 0)
        limit_.start(limit * 1000);
    process_->start();
}

void Importer::stop()
{
    if (!process_)
        return;
    endCommand();
    conclude();
}

// Stopped by the user or out of time: the command gets a moment, then it
// is ended.
void Importer::endCommand()
{
    process_->disconnect(this);
    process_->terminate();
    if (!process_->waitForFinished(3000)) {
        process_->kill();
        process_->waitForFinished(3000);
    }
}

void Importer::conclude()
{
    limit_.stop();
    if (process_) {
        // Possibly inside the process's own signal: it goes from the event loop.
        process_->disconnect(this);
        process_.release()->deleteLater();
    }
    result_.line =
        (result_.ok ? kSucceeded : kFailed) +
        (result_.timedOut ? QStringLiteral(" (the import command did not end within %1 s)").arg(importTimeoutSeconds())
                          : QString()) +
        QStringLiteral("\r\n");
    WriteLog(result_.ok ? kSucceeded : kFailed);
    QTimer::singleShot(0, this, [this] {
        running_ = false;
        emit done();
    });
}

}  // namespace amibroker
