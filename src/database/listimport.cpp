#include "database/listimport.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "support/errors.h"
#include "support/messages.h"
#include "support/yield.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace listimport {
namespace {
// Entries stored per transaction: one disk sync per chunk instead of one per
// symbol, while other connections still get a turn between chunks.
constexpr int kChunk = 500;

QString decode(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

bool isLineEnd(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }

bool isDelimiter(QChar c) { return c == QLatin1Char(',') || isLineEnd(c); }

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

void addField(QString field, QStringList& entries)
{
    for (QChar& c : field) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    field = field.left(kMaxSymbolLength).trimmed();
    if (!field.isEmpty())
        entries << field;
}
}  // namespace

QStringList parse(const QByteArray& bytes)
{
    const QString text = decode(bytes);
    const qsizetype n = text.size();
    QStringList entries;
    qsizetype i = 0;
    while (i < n) {
        while (i < n && isBlank(text[i]))
            ++i;
        QString field;
        if (i < n && text[i] == QLatin1Char('"')) {
            // A quoted field runs to the closing quote, commas included;
            // anything between that quote and the next delimiter is dropped.
            qsizetype close = text.indexOf(QLatin1Char('"'), i + 1);
            if (close < 0)
                close = n;
            field = text.mid(i + 1, close - i - 1);
            i = close + 1;
            while (i < n && !isDelimiter(text[i]))
                ++i;
        } else {
            const qsizetype start = i;
            while (i < n && !isDelimiter(text[i]))
                ++i;
            field = text.mid(start, i - start);
        }
        if (i < n) {
            if (text[i] == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
                ++i;
            ++i;
        }
        addField(field, entries);
    }
    return entries;
}

FileResult readFile(const QString& path)
{
    FileResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        return result;
    }
    // Read one byte more than allowed, so a file that grew since it was
    // chosen is refused too.
    const QByteArray bytes = file.read(kTooBig);
    if (file.error() != QFileDevice::NoError) {
        result.error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return result;
    }
    if (bytes.size() >= kTooBig) {
        result.tooBig = true;
        return result;
    }
    result.entries = parse(bytes);
    return result;
}

Result importSymbols(clsData& data, const QStringList& entries, int listNumber, const Progress& progress)
{
    Result result;
    BusyPointer busy;
    data.clearAborted();
    const int unknown = data.markt0();
    if (unknown == 0) {
        result.aborted = data.aborted();
        return result;
    }
    Database& db = data.db();
    bool inTransaction = false;
    auto commit = [&] {
        if (inTransaction)
            guarded([&] {
                db.commit();
                inTransaction = false;
            });
        if (inTransaction) {  // the user gave up on the commit
            db.rollback();
            inTransaction = false;
        }
    };
    const int count = static_cast<int>(entries.size());
    for (int i = 0; i < count; ++i) {
        if (!inTransaction) {
            try {
                db.begin();
                inTransaction = true;
            } catch (const AppError&) {
                // Busy elsewhere: go on statement by statement.
            }
        }
        if (progress.entry)
            progress.entry(i);
        yieldToGui();
        data.addtodatabase3(entries[i], entries[i], unknown, listNumber);
        if (data.aborted()) {
            result.aborted = true;
            break;
        }
        if (data.addgelukt) {
            ++result.added;
            if (progress.status)
                progress.status(QStringLiteral("Importing %1 from %2").arg(i + 1).arg(count));
        }
        if ((i + 1) % kChunk == 0)
            commit();
    }
    commit();
    if (!result.aborted && progress.status)
        progress.status(QStringLiteral("%1 Imported").arg(count));
    return result;
}

}  // namespace listimport
