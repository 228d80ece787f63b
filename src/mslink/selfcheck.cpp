#include "mslink/selfcheck.h"

#include "mslink/datafile.h"
#include "mslink/masters.h"
#include "mslink/numbers.h"

namespace mslink {

QString selfCheck()
{
    const struct {
        float value;
        quint32 mbf;
    } vectors[] = {{79.97f, 0x871FF0A4}, {970923.0f, 0x946D0AB0}, {90500.0f, 0x9130C200}, {0.0f, 0}};
    for (const auto& v : vectors) {
        if (toMbf(v.value) != v.mbf || fromMbf(v.mbf) != v.value)
            return QStringLiteral("MBF conversion of %1").arg(v.value);
    }

    Masters m;
    Security s;
    s.fileNumber = 1;
    s.symbol = QStringLiteral("CHECK");
    s.longName = QStringLiteral("Self check of the library");
    s.name = s.longName.left(kShortNameLength).trimmed();
    s.firstDate = 19970923;
    s.lastDate = 20131115;
    m.securities.push_back(s);
    s.fileNumber = 256;
    m.securities.push_back(s);
    try {
        const Masters back = parseMasters(masterBytes(m), emasterBytes(m), xmasterBytes(m));
        if (back.securities.size() != 2 || !back.emasterMatched)
            return QStringLiteral("master files read back wrongly");
        for (const Security& b : back.securities) {
            if (b.symbol != s.symbol || b.longName != s.longName || b.firstDate != s.firstDate ||
                b.lastDate != s.lastDate)
                return QStringLiteral("master entry F%1 read back wrongly").arg(b.fileNumber);
        }
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    }

    const Record r{20131115, 120000, 79.97f, 81.5f, 79.0f, 80.25f, 90500.0f, 0.0f};
    const Layout layout = Layout::fromCount(7);
    const Record back = datafile::decodeRecord(layout, datafile::encodeRecord(layout, r).constData());
    if (back.date != r.date || back.open != r.open || back.close != r.close || back.volume != r.volume)
        return QStringLiteral("data record read back wrongly");
    return {};
}

}  // namespace mslink
