#include "writers/clssortstock.h"

#include "writers/filenames.h"
#include "writers/textformats.h"
#include "writers/textio.h"

#include <map>

void clsSortstock::geefTicker(const QString& file)
{
    const auto writer = makeSymbolWriter(asciijn ? QLatin1Char('C') : GETiijn ? QLatin1Char('D') : QLatin1Char('S'));
    const auto* text = static_cast<const TextQuoteWriter*>(writer.get());

    // Ordered by date; a later entry of the same date replaces an earlier one.
    std::map<qint32, QByteArray> byDate;
    QVector<QByteArray> undated;
    QByteArray content;
    if (filenames::filePresent(file)) {
        content = textio::readWhole(file);
        for (QByteArrayView line : textio::splitLines(content)) {
            if (textio::isBlank(line))
                continue;
            const auto date = text->lineDate(line);
            if (date && *date > 0)
                byDate[*date] = line.toByteArray();
            else
                undated.append(line.toByteArray());
        }
    }
    const qsizetype n = std::min(geefdatums.size(), geefgegevens.size());
    for (qsizetype i = 0; i < n; ++i)
        byDate[geefdatums[i]] = geefgegevens[i];

    QByteArray out;
    out.reserve(content.size() + n * (geefgegevens.isEmpty() ? 0 : geefgegevens.front().size() + 2));
    for (const QByteArray& line : undated)
        out += line + textio::kCrLf;
    for (const auto& [date, line] : byDate)
        out += line + textio::kCrLf;
    textio::rewrite(file, out);
}
