#include "database/listimport.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "support/errors.h"
#include "support/messages.h"
#include "support/yield.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>

namespace listimport {
namespace {
// Entries stored per transaction: one disk sync per chunk instead of one per
// symbol, while other connections still get a turn between chunks.
constexpr int kChunk = 500;

// The text of the file: UTF-16 and UTF-8 by their byte-order mark, else
// UTF-8 when it is valid UTF-8, else one byte one character. A DOS end of
// file (^Z) ends the text.
QString decode(const QByteArray& bytes)
{
    QString text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                             QStringDecoder::Flag::Stateless);
        text = utf16.decode(QByteArrayView(bytes).sliced(2));
    } else {
        const QByteArrayView body = bytes.startsWith("\xEF\xBB\xBF") ? QByteArrayView(bytes).sliced(3) : bytes;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(body);
        if (utf8.hasError())
            text = QString::fromLatin1(body);
    }
    const qsizetype eof = text.indexOf(QChar(0x1A));
    if (eof >= 0)
        text.truncate(eof);
    return text;
}

bool isLineEnd(QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); }

bool isDelimiter(QChar c) { return c == QLatin1Char(',') || isLineEnd(c); }

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// A symbol never holds a comma, a quote or a control character: a field
// that does is refused, not stored with them.
void addField(QString field, QStringList& entries, QStringList* refused)
{
    field = field.trimmed();
    if (field.isEmpty())
        return;
    const bool bad = std::any_of(field.begin(), field.end(), [](QChar c) {
        return c == QLatin1Char(',') || c == QLatin1Char('"') || c.category() == QChar::Other_Control ||
               c.category() == QChar::Other_Format;
    });
    if (bad) {
        if (refused)
            refused->append(field);
        return;
    }
    field = field.left(kMaxSymbolLength).trimmed();
    if (!field.isEmpty())
        entries << field;
}
}  // namespace

QString notText(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF"))
        return {};
    // Text files of symbols hold no NUL byte and hardly any other control
    // character; a program, an image or a workbook does.
    qsizetype controls = 0;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == 0)
            return QStringLiteral("holds NUL bytes");
        if (b < 0x20 && b != '\r' && b != '\n' && b != '\t' && b != '\f' && b != 0x1A)
            ++controls;
    }
    if (controls * 20 > bytes.size())
        return QStringLiteral("holds binary data");
    return {};
}

QStringList parse(const QByteArray& bytes, QStringList* refused)
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
        addField(field, entries, refused);
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
    if (const QString why = notText(bytes); !why.isEmpty()) {
        result.error = QStringLiteral("%1 is not a text file of symbols (it %2): nothing imported").arg(path, why);
        return result;
    }
    result.entries = parse(bytes, &result.refused);
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
    int addedInChunk = 0;
    // False when the chunk could not be stored (a full disk): its symbols
    // were taken back with it.
    auto commit = [&]() -> bool {
        if (inTransaction)
            guarded([&] {
                try {
                    db.commit();
                } catch (const AppError& e) {
                    result.error = e.description();
                    throw;
                }
                inTransaction = false;
            });
        const bool stored = !inTransaction;
        if (inTransaction) {  // the user gave up on the commit
            try {
                db.rollback();
            } catch (const AppError&) {
            }
            inTransaction = false;
            result.added -= addedInChunk;
        } else {
            result.error.clear();
        }
        addedInChunk = 0;
        return stored;
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
            ++addedInChunk;
            if (progress.status)
                progress.status(QStringLiteral("Importing %1 from %2").arg(i + 1).arg(count));
        }
        if ((i + 1) % kChunk == 0 && !commit())
            break;
    }
    commit();
    result.failed = result.aborted ? 0 : count - result.added;
    if (!result.aborted && progress.status) {
        if (result.failed == 0)
            progress.status(QStringLiteral("%1 Imported").arg(count));
        else
            progress.status(QStringLiteral("%1 of %2 imported, %3 could not be stored%4")
                                .arg(result.added)
                                .arg(count)
                                .arg(result.failed)
                                .arg(result.error.isEmpty() ? QString() : QStringLiteral(": ") + result.error));
    }
    return result;
}

}  // namespace listimport
