#include "writers/clssortstock.h"

#include "writers/codecs/text/textformats.h"
#include "writers/filenames.h"
#include "writers/textio.h"

#include <algorithm>
#include <vector>

void clsSortstock::geefTicker(const QString& file)
{
    const TextQuoteWriter* text = layout;

    // Existing lines first, then the new ones; sorting by date keeps that
    // order within a date, so the last entry of each date is the one kept.
    struct Entry {
        qint32 date;
        QByteArrayView line;
    };
    std::vector<Entry> entries;
    QVector<QByteArrayView> undated;
    QByteArray content;
    if (filenames::filePresent(file)) {
        content = textio::readWhole(file);
        const QVector<QByteArrayView> lines = textio::splitLines(content);
        entries.reserve(static_cast<size_t>(lines.size() + geefeinden.size()));
        for (QByteArrayView line : lines) {
            if (textio::isBlank(line))
                continue;
            const auto date = text->lineDate(line);
            if (date && *date > 0)
                entries.push_back({*date, line});
            else
                undated.append(line);
        }
    }
    const qsizetype n = std::min(geefdatums.size(), geefeinden.size());
    const QByteArrayView lines(geefregels);
    for (qsizetype i = 0, begin = 0; i < n; begin = geefeinden[i++])
        entries.push_back({geefdatums[i], lines.sliced(begin, geefeinden[i] - begin)});
    const auto earlier = [](const Entry& a, const Entry& b) { return a.date < b.date; };
    // A new file's lines come in order already.
    if (!std::is_sorted(entries.begin(), entries.end(), earlier))
        std::stable_sort(entries.begin(), entries.end(), earlier);

    QByteArray out;
    out.reserve(content.size() + geefregels.size() + n * 2);
    for (QByteArrayView line : undated) {
        out += line;
        out += textio::kCrLf;
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].date == entries[i].date)
            continue;
        out += entries[i].line;
        out += textio::kCrLf;
    }
    textio::rewrite(file, out);
}
