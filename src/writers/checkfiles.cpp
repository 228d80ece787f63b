#include "writers/checkfiles.h"

#include "writers/codecs/codec.h"
#include "writers/formatregistry.h"
#include "writers/textio.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace checkfiles {
namespace {

const StoredCodec* codecOf(QChar letter)
{
    const ExportFormat* format = formats::find(letter);
    return format ? format->stored : nullptr;
}

}  // namespace

std::optional<QChar> formatOf(const QByteArray& content, QString* why, bool* fits)
{
    // Records first: a binary layout that fits leaves no doubt of its own.
    QString letters;
    for (bool binary : {true, false}) {
        for (const ExportFormat& f : formats::checkOrder()) {
            if (f.stored->binary() == binary && f.stored->isOwnContent(content))
                letters += f.letter;
        }
    }
    if (fits)
        *fits = !letters.isEmpty();
    if (letters.size() == 1)
        return letters.front();
    if (why) {
        if (letters.isEmpty()) {
            *why = QStringLiteral("no quote file layout fits");
        } else {
            QStringList each;
            for (QChar l : letters)
                each << QString(l);
            *why = QStringLiteral("it reads as ") + each.join(QStringLiteral(" and as "));
        }
    }
    return std::nullopt;
}

std::optional<StoredFile> parse(const QByteArray& content, QChar letter)
{
    const StoredCodec* codec = codecOf(letter);
    return codec ? codec->parse(content) : std::nullopt;
}

std::optional<StoredFile> read(const QString& path, QChar letter)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parse(f.readAll(), letter);
}

std::optional<integrity::Bar> lastDay(const QString& path, QChar letter, textio::KeptTails* kept)
{
    const StoredCodec* codec = codecOf(letter);
    return codec ? codec->lastDay(path, kept) : std::nullopt;
}

QVector<integrity::Bar> bars(const QVector<Quote>& days)
{
    using integrity::number;
    QVector<integrity::Bar> out;
    out.reserve(days.size());
    for (const Quote& q : days)
        out.append({q.date, number(q.open), number(q.high), number(q.low), number(q.close), number(q.volume)});
    return out;
}

QByteArray patched(const QByteArray& content, const StoredFile& file, const QVector<Quote>& changed)
{
    using integrity::number;
    const StoredCodec* codec = codecOf(file.letter);
    if (!codec)
        return content;
    struct Change {
        StoredFile::Place place;
        QByteArray bytes;
    };
    QVector<Change> changes;
    for (qsizetype i = 0; i < file.days.size() && i < changed.size(); ++i) {
        const Quote& was = file.days[i];
        const Quote& now = changed[i];
        const QString* before[5] = {&was.open, &was.high, &was.low, &was.close, &was.volume};
        const QString* after[5] = {&now.open, &now.high, &now.low, &now.close, &now.volume};
        for (int k = 0; k < 5; ++k) {
            const StoredFile::Place place = file.places[i][k];
            if (place.at < 0 || number(*before[k]) == number(*after[k]))
                continue;
            changes.append({place, codec->fieldBytes(now, k, place)});
        }
    }
    std::sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) { return a.place.at < b.place.at; });
    QByteArray out;
    out.reserve(content.size() + 16 * changes.size());
    qsizetype from = 0;
    for (const Change& c : changes) {
        out += QByteArrayView(content).sliced(from, c.place.at - from);
        out += c.bytes;
        from = c.place.at + c.place.size;
    }
    out += QByteArrayView(content).sliced(from);
    return out;
}

QString backupName(const QString& path)
{
    const QString first = path + QStringLiteral(".bak");
    QString name = first;
    for (int n = 1; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = first + QLatin1Char('.') + QString::number(n);
    return name;
}

bool rewrite(const QString& path, const QByteArray& content, QString* backup, QString* error)
{
    const QString kept = backupName(path);
    if (!QFile::copy(path, kept)) {
        if (error)
            *error = QStringLiteral("cannot keep the old file as ") + kept;
        return false;
    }
    try {
        textio::rewrite(path, content);
    } catch (const textio::WriteFailed& e) {
        QFile::remove(kept);
        if (error)
            *error = QStringLiteral("cannot rewrite %1: %2").arg(path, e.reason());
        return false;
    } catch (const std::exception& e) {
        QFile::remove(kept);
        if (error) {
            const QString reason = QString::fromLocal8Bit(e.what());
            *error = QStringLiteral("cannot rewrite ") + path;
            if (!reason.isEmpty() && reason != path)
                *error += QStringLiteral(": ") + reason;
        }
        return false;
    }
    if (backup)
        *backup = kept;
    return true;
}

}  // namespace checkfiles
