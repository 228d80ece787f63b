#include "writers/runfiles.h"

#include "support/errors.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/filenames.h"
#include "writers/textio.h"

#include <QFile>
#include <QSaveFile>

namespace runfiles {
namespace {
constexpr int kMaxRunFiles = 5000;

QByteArray price(const QString& text, bool current)
{
    return quotetext::field(current ? quotetext::pointDecimal(text) : text.trimmed());
}

// A field of a "|"-separated line must not carry the separator.
QByteArray visionField(const QString& text)
{
    QByteArray f = quotetext::field(text);
    f.replace('|', ' ');
    return f;
}

QString twoDigits(int n)
{
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

QString folderOf(QString ProgramSettings::*folder)
{
    const QString f = settings().*folder;
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

QByteArray visionLine(const Quote& q, bool current)
{
    return "7|" + visionField(marketCode(q.ticker)) + '|' + visionField(q.ticker) + '|' + visionField(q.name) + "||" +
           QByteArray::number(q.date) + '|' + price(q.open, current) + '|' + price(q.high, current) + '|' +
           price(q.low, current) + '|' + price(q.close, current) + '|' + quotetext::field(q.volume.trimmed()) +
           textio::kCrLf;
}

QByteArray vikingenRecord(const Quote& q, bool current)
{
    QString t = q.ticker;
    t.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QByteArray ticker = quotetext::field(t.left(11));
    return '+' + ticker + ',' + quotetext::field(q.name) + textio::kCrLf + '#' + QByteArray::number(q.date) +
           textio::kCrLf + ticker + ',' + price(q.high, current) + ',' + price(q.low, current) + ',' +
           price(q.close, current) + ',' + quotetext::field(q.volume.trimmed()) + ",," + price(q.open, current) +
           textio::kCrLf;
}

QByteArray ami1Line(const Quote& q, const QString& h11)
{
    QByteArray line = quotetext::field(q.ticker) + ',' + QByteArray::number(q.date) + ',' + price(q.open, true) + ',' +
                      price(q.high, true) + ',' + price(q.low, true) + ',' + price(q.close, true) + ',' +
                      quotetext::field(q.volume.trimmed());
    if (h11 != QLatin1String("0"))
        line += ",0";
    return line + textio::kCrLf;
}

QByteArray ami2Line(const Quote& q, const QString& time, bool current)
{
    auto quoted = [](const QString& text) {
        QByteArray f = quotetext::field(text);
        f.replace('"', '\'');
        return '"' + f + '"';
    };
    const QString d = QString::number(q.date).rightJustified(8, QLatin1Char('0'));
    const QString date = d.mid(4, 2) + QLatin1Char('/') + d.mid(6, 2) + QLatin1Char('/') + d.left(4);
    return quoted(q.ticker) + ',' + quoted(q.name) + ',' + price(q.close, current) + ',' + quoted(date) + ',' +
           quoted(time) + ",0.00," + price(q.open, current) + ',' + price(q.high, current) + ',' +
           price(q.low, current) + ',' + quotetext::field(q.volume.trimmed()) + textio::kCrLf;
}

QString createVisionFile(bool historical, const QDate& day)
{
    const QString folder = folderOf(&ProgramSettings::h3);
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
    const QString folder = folderOf(&ProgramSettings::h5);
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
    const QString folder = folderOf(&ProgramSettings::prn);
    const QString extension = QLatin1Char('.') + settings().h12;
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
    const QByteArray content = source.readAll();
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit())
        throw FileError(out, QStringLiteral("Cannot write"));
    return target;
}

}  // namespace runfiles

struct AppendFile::Impl {
    QFile file;
    int handle = 0;
};

AppendFile::AppendFile(const QString& path) : path_(path) {}

AppendFile::~AppendFile()
{
    close();
}

void AppendFile::setPath(const QString& path)
{
    close();
    path_ = path;
}

bool AppendFile::isOpen() const
{
    return impl_ != nullptr;
}

void AppendFile::write(const QByteArray& bytes)
{
    if (!impl_) {
        auto impl = std::make_unique<Impl>();
        impl->file.setFileName(path_);
        if (!impl->file.open(QIODevice::WriteOnly | QIODevice::Append))
            throw FileError(impl->file, QStringLiteral("Cannot open for appending"));
        impl_ = std::move(impl);
        impl_->handle = openfiles::add([this] {
            impl_->handle = 0;  // the registry forgets it by itself
            close();
        });
    }
    if (impl_->file.write(bytes) != bytes.size() || !impl_->file.flush())
        throw FileError(impl_->file, QStringLiteral("Cannot append to"));
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
