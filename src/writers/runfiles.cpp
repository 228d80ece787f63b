#include "writers/runfiles.h"

#include "support/appendjournal.h"
#include "support/errors.h"
#include "support/log.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/safefile.h"
#include "support/state.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"
#include "writers/textio.h"

#include <QFile>
#include <cerrno>

namespace runfiles {
namespace {
constexpr int kMaxRunFiles = 5000;

QString twoDigits(int n) { return QString::number(n).rightJustified(2, QLatin1Char('0')); }

// The folder of the format of `letter`.
QString folderOf(char letter)
{
    const QString f = settings().format(letter).folder;
    return paths::withTrailingSlash(f.isEmpty() ? paths::fallbackFolder() : f);
}

// The first of the numbered names for which no file is present; the last one
// when all are taken.
template <typename NameOf>
QString firstFree(NameOf nameOf)
{
    for (int n = 1; n <= kMaxRunFiles; ++n) {
        const QString name = nameOf(n);
        if (!filenames::filePresent(name))
            return name;
    }
    return nameOf(kMaxRunFiles);
}

void createWithContent(const QString& file, const QByteArray& content)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(f, QStringLiteral("Cannot create"));
    if (f.write(content) != content.size() || !f.flush())
        throw FileError(f, QStringLiteral("Cannot write"));
}
}  // namespace

QString marketCode(const QString& ticker)
{
    const QString t = ticker.trimmed();
    if (t.isEmpty())
        return QStringLiteral("QR");
    if (t.endsWith(QLatin1String("=X")))
        return QStringLiteral("QRX");
    if (t.startsWith(QLatin1Char('^')))
        return QStringLiteral("QRIDX");
    const qsizetype dot = t.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        return QStringLiteral("QR") + t.mid(dot + 1).toUpper();
    return QStringLiteral("QRUS");
}

void appendVisionLine(QByteArray& out, const Quote& q, bool current)
{
    using namespace quotetext;
    out += "7|";
    appendField(out, marketCode(q.ticker), '|', ' ');
    out += '|';
    appendField(out, q.ticker, '|', ' ');
    out += '|';
    appendField(out, q.name, '|', ' ');
    out += "||";
    appendNumber(out, q.date);
    for (const QString* p : {&q.open, &q.high, &q.low, &q.close}) {
        out += '|';
        appendPrice(out, *p, current);
    }
    out += '|';
    appendPrice(out, q.volume, false);
    out += textio::kCrLf;
}

void appendVikingenRecord(QByteArray& out, const Quote& q, bool current)
{
    using namespace quotetext;
    const qsizetype tickerAt = out.size() + 1;
    out += '+';
    appendField(out, QStringView(q.ticker).left(11), '.', '_');
    const qsizetype tickerSize = out.size() - tickerAt;
    out += ',';
    appendField(out, q.name);
    out += "\r\n#";
    appendNumber(out, q.date);
    out += textio::kCrLf;
    out.append(QByteArrayView(out.constData() + tickerAt, tickerSize));
    for (const QString* p : {&q.high, &q.low, &q.close}) {
        out += ',';
        appendPrice(out, *p, current);
    }
    out += ',';
    appendPrice(out, q.volume, false);
    out += ",,";
    appendPrice(out, q.open, current);
    out += textio::kCrLf;
}

void appendAmi1Line(QByteArray& out, const Quote& q, const QString& h11)
{
    using namespace quotetext;
    appendField(out, q.ticker);
    out += ',';
    appendNumber(out, q.date);
    for (const QString* p : {&q.open, &q.high, &q.low, &q.close}) {
        out += ',';
        appendPrice(out, *p, true);
    }
    out += ',';
    appendPrice(out, q.volume, false);
    if (h11 != QLatin1String("0"))
        out += ",0";
    out += textio::kCrLf;
}

void appendAmi2Line(QByteArray& out, const Quote& q, const QString& time, bool current)
{
    using namespace quotetext;
    auto quoted = [&out](QStringView text) {
        out += '"';
        appendField(out, text, '"', '\'');
        out += '"';
    };
    quoted(q.ticker);
    out += ',';
    quoted(q.name);
    out += ',';
    appendPrice(out, q.close, current);
    // The date as MM/DD/YYYY from the (at least) eight digits of YYYYMMDD.
    QByteArray d;
    appendNumber(d, q.date, 8);
    out += ",\"";
    out += QByteArrayView(d).sliced(4, 2);
    out += '/';
    out += QByteArrayView(d).sliced(6, 2);
    out += '/';
    out += QByteArrayView(d).first(4);
    out += "\",";
    quoted(time);
    out += ",0.00,";
    appendPrice(out, q.open, current);
    out += ',';
    appendPrice(out, q.high, current);
    out += ',';
    appendPrice(out, q.low, current);
    out += ',';
    appendPrice(out, q.volume, false);
    out += textio::kCrLf;
}

QByteArray visionLine(const Quote& q, bool current)
{
    QByteArray out;
    appendVisionLine(out, q, current);
    return out;
}

QByteArray vikingenRecord(const Quote& q, bool current)
{
    QByteArray out;
    appendVikingenRecord(out, q, current);
    return out;
}

QByteArray ami1Line(const Quote& q, const QString& h11)
{
    QByteArray out;
    appendAmi1Line(out, q, h11);
    return out;
}

QByteArray ami2Line(const Quote& q, const QString& time, bool current)
{
    QByteArray out;
    appendAmi2Line(out, q, time, current);
    return out;
}

QString createVisionFile(bool historical, const QDate& day)
{
    const QString folder = folderOf('V');
    const QString stamp = QString::number(day.year()) + twoDigits(day.month()) + twoDigits(day.day());
    const QString file = firstFree([&](int n) {
        return historical ? folder + QStringLiteral("history-%1.vsn").arg(n)
                          : folder + QStringLiteral("quotes") + stamp + QStringLiteral("-%1.vsn").arg(n);
    });
    createWithContent(file, QByteArrayLiteral("0|8|Quotaris\r\n"));
    return file;
}

QString createVikingenFile(bool historical, const QDate& day)
{
    const QString folder = folderOf('I');
    const QString stamp = twoDigits(day.month()) + twoDigits(day.day());
    const QString file = firstFree([&](int n) {
        return historical ? folder + QStringLiteral("H-%1.txt").arg(n)
                          : folder + QStringLiteral("C") + stamp + QStringLiteral("-%1.txt").arg(n);
    });
    createWithContent(file, QByteArrayLiteral("%I2\r\n"));
    return file;
}

void createStagingFiles(bool historical)
{
    const QByteArray header = kStagingHeader + textio::kCrLf;
    createWithContent(paths::dataFile(QStringLiteral("ami1.txt")), header);
    createWithContent(paths::dataFile(QStringLiteral("ami2.txt")), historical ? header : QByteArray());
}

QString runFileName(bool historical, const QDate& day)
{
    const QString folder = folderOf('P');
    const QString extension = QLatin1Char('.') + settings().format('P').value(kRunFileExtension);
    const QString stamp = QString::number(day.year()) + twoDigits(day.month()) + twoDigits(day.day());
    return firstFree([&](int n) {
        return historical ? folder + QStringLiteral("History-%1").arg(n) + extension
                          : folder + QStringLiteral("Quotes") + stamp + QStringLiteral("-%1").arg(n) + extension;
    });
}

QString copyRunFile(bool historical, const QDate& day)
{
    const QString target = runFileName(historical, day);
    openfiles::closeAll();
    QFile source(paths::dataFile(QStringLiteral("ami1.txt")));
    if (!source.open(QIODevice::ReadOnly))
        throw FileError(source, QStringLiteral("Cannot read"));
    // Copied in pieces: a long historical run stages hundreds of megabytes.
    SafeFile out(target);
    if (!out.open())
        throw FileError::fromErrno(out.error(), QStringLiteral("Cannot write"), target);
    QByteArray piece;
    while (!source.atEnd()) {
        piece = source.read(1 << 20);
        if (piece.isEmpty()) {
            if (source.error() != QFileDevice::NoError)
                throw FileError(source, QStringLiteral("Cannot read"));
            break;
        }
        if (!out.write(piece))
            throw FileError::fromErrno(out.error(), QStringLiteral("Cannot write"), target);
    }
    if (!out.commit())
        throw FileError::fromErrno(out.error(), QStringLiteral("Cannot write"), target);
    return target;
}

}  // namespace runfiles

struct AppendFile::Impl {
    QFile file;
    int handle = 0;
};

AppendFile::AppendFile(const QString& path) : path_(path) {}

AppendFile::~AppendFile() { close(); }

bool AppendFile::isOpen() const { return impl_ != nullptr; }

void AppendFile::write(const QByteArray& bytes)
{
    if (!impl_) {
        auto impl = std::make_unique<Impl>();
        impl->file.setFileName(path_);
        appendjournal::enter(path_);
        // Unbuffered: a failed write is seen at once, and taken back below.
        if (!impl->file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            throw FileError(impl->file, QStringLiteral("Cannot open for appending"));
        impl_ = std::move(impl);
        impl_->handle = openfiles::add([this] {
            impl_->handle = 0;  // the registry forgets it by itself
            close();
        });
    }
    const qint64 before = impl_->file.size();
    errno = 0;
    if (impl_->file.write(bytes) != bytes.size()) {
        // No torn line stays in the file for the next write to follow.
        const int error = errno != 0 ? errno : EIO;
        impl_->file.resize(before);
        throw FileError::fromErrno(error, QStringLiteral("Cannot append to"), path_);
    }
}

void AppendFile::close()
{
    if (!impl_)
        return;
    if (impl_->handle)
        openfiles::remove(impl_->handle);
    impl_->file.close();
    impl_.reset();
}

RunFiles::RunFiles(bool historical)
    : historical_(historical), ami1_(paths::dataFile(QStringLiteral("ami1.txt"))),
      ami2_(paths::dataFile(QStringLiteral("ami2.txt")))
{
}

RunFiles::~RunFiles() = default;

bool RunFiles::createStaging()
{
    WriteLog(historical_ ? QStringLiteral("Opening tempfiles") : QStringLiteral("Creating tempfiles"));
    const bool historical = historical_;
    if (guarded([historical] { runfiles::createStagingFiles(historical); }) == StepOutcome::Aborted)
        return false;
    WriteLog(historical_ ? QStringLiteral("closing tempfiles") : QStringLiteral("Finished creating tempfiles"));
    return true;
}

AppendFile* RunFiles::create(QString (*make)(bool, const QDate&), bool* aborted)
{
    std::unique_ptr<AppendFile> file;
    const bool historical = historical_;
    *aborted = guarded([&] { file = std::make_unique<AppendFile>(make(historical, QDate::currentDate())); }) ==
               StepOutcome::Aborted;
    if (!file)
        return nullptr;
    files_.push_back(std::move(file));
    return files_.back().get();
}

void RunFiles::close()
{
    ami1_.close();
    ami2_.close();
    for (const auto& file : files_)
        file->close();
    appendjournal::clear();
}
