#include "mslink/masters.h"

#include "mslink/error.h"
#include "mslink/numbers.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <bit>
#include <cmath>

namespace mslink {

namespace {

// Field bits in the order the fields sit in a record.
constexpr quint8 kDate = 0x01, kHigh = 0x02, kLow = 0x04, kClose = 0x08, kVolume = 0x10, kOpen = 0x20, kInterest = 0x40,
                 kTime = 0x80;

[[noreturn]] void damaged(const char* file, const QString& why)
{
    throw Error(ErrorCode::Damaged, QStringLiteral("%1 %2").arg(QLatin1String(file), why));
}

QString latin1(const char* p, int length) { return QString::fromLatin1(p, length); }

// A space- or NUL-padded text field, up to its first NUL, trimmed.
QString textField(const QByteArray& b, int offset, int length)
{
    const char* p = b.constData() + offset;
    int n = 0;
    while (n < length && p[n] != '\0')
        ++n;
    return latin1(p, n).trimmed();
}

// Writes `text` into a field unless the field already reads as `text`, so
// the padding another program chose survives a rewrite.
void putText(QByteArray& b, int offset, int length, const QString& text, char pad, bool terminated)
{
    if (textField(b, offset, length) == text)
        return;
    const QByteArray bytes = text.toLatin1().left(terminated ? length - 1 : length);
    char* p = b.data() + offset;
    std::memset(p, pad, static_cast<size_t>(length));
    std::memcpy(p, bytes.constData(), static_cast<size_t>(bytes.size()));
}

float fileDateFloat(qint32 yyyymmdd) { return static_cast<float>(toFileDate(yyyymmdd)); }

qint32 dateFromFloat(float f)
{
    if (!(f > 0.0f) || f > 9991231.0f)
        return 0;
    return fromFileDate(static_cast<qint32>(std::lround(f)));
}

qint32 plausible(qint32 yyyymmdd) { return yyyymmdd > 0 && yyyymmdd <= 99991231 ? yyyymmdd : 0; }

}  // namespace

quint8 Layout::bits() const
{
    quint8 b = kDate | kHigh | kLow | kClose;
    if (time >= 0)
        b |= kTime;
    if (open >= 0)
        b |= kOpen;
    if (volume >= 0)
        b |= kVolume;
    if (openInterest >= 0)
        b |= kInterest;
    return b;
}

Layout Layout::fromBits(quint8 b)
{
    Layout l;
    int at = 0;
    l.date = at++;
    l.time = b & kTime ? at++ : -1;
    l.open = b & kOpen ? at++ : -1;
    l.high = at++;
    l.low = at++;
    l.close = at++;
    l.volume = b & kVolume ? at++ : -1;
    l.openInterest = b & kInterest ? at++ : -1;
    l.fields = at;
    return l;
}

Layout Layout::fromCount(int fields)
{
    switch (fields) {
    case 5:
        return fromBits(kDate | kHigh | kLow | kClose | kVolume);
    case 6:
        return fromBits(kDate | kOpen | kHigh | kLow | kClose | kVolume);
    case 8:
        return fromBits(0xFF);
    default:
        return fromBits(0x7F);
    }
}

QString Security::dataFileName() const
{
    return QStringLiteral("F%1.%2").arg(fileNumber).arg(inMaster() ? QStringLiteral("DAT") : QStringLiteral("MWD"));
}

QString storableName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QLatin1Char(' ');
        else if (c.unicode() > 0xFF)
            out += QLatin1Char('?');
        else
            out += c;
    }
    return out.trimmed().left(kLongNameLength).trimmed();
}

QString storableSymbol(const QString& symbol) { return storableName(symbol).left(kSymbolLength).trimmed(); }

Masters parseMasters(const QByteArray& master, const QByteArray& emaster, const QByteArray& xmaster)
{
    Masters m;
    QSet<int> numbers;
    int inMaster = 0;
    if (!master.isEmpty()) {
        if (master.size() < kMasterSize)
            damaged("MASTER", QStringLiteral("is shorter than its header"));
        inMaster = getU16(master.constData());
        if (inMaster > kMasterLimit)
            damaged("MASTER", QStringLiteral("claims %1 securities").arg(inMaster));
        if (master.size() != (inMaster + 1) * kMasterSize)
            damaged("MASTER", QStringLiteral("holds %1 bytes for %2 securities").arg(master.size()).arg(inMaster));
        m.masterHeader = master.left(kMasterSize);
        for (int i = 0; i < inMaster; ++i) {
            const QByteArray e = master.mid((i + 1) * kMasterSize, kMasterSize);
            const char* p = e.constData();
            Security s;
            s.fileNumber = static_cast<quint8>(p[0]);
            const int fields = static_cast<quint8>(p[4]);
            if (s.fileNumber == 0 || numbers.contains(s.fileNumber) || fields < 5 || fields > 8 ||
                static_cast<quint8>(p[3]) != 4 * fields)
                damaged("MASTER", QStringLiteral("entry %1 is not a security").arg(i + 1));
            numbers.insert(s.fileNumber);
            s.layout = Layout::fromCount(fields);
            s.name = textField(e, 7, kShortNameLength);
            s.firstDate = dateFromFloat(getMbf(p + 25));
            s.lastDate = dateFromFloat(getMbf(p + 29));
            s.symbol = textField(e, 36, kSymbolLength);
            s.master = e;
            m.securities.push_back(s);
        }
    }

    // EMASTER entries belong to MASTER's by file number. One that does not
    // list the same securities in the same order is not used by readers;
    // its entries still give the long names when it is rewritten.
    const int emasterCount = emaster.size() >= kEmasterSize ? getU16(emaster.constData()) : -1;
    const bool wellFormed = emasterCount >= 0 && emaster.size() == (emasterCount + 1) * kEmasterSize;
    m.emasterMatched = wellFormed && emasterCount == inMaster;
    QHash<int, QByteArray> entries;
    for (int i = 0; wellFormed && i < emasterCount; ++i) {
        const QByteArray e = emaster.mid((i + 1) * kEmasterSize, kEmasterSize);
        entries.insert(static_cast<quint8>(e[2]), e);
        if (i < inMaster && static_cast<quint8>(e[2]) != m.securities[i].fileNumber)
            m.emasterMatched = false;
    }
    if (wellFormed) {
        m.emasterHeader = emaster.left(kEmasterSize);
        for (int i = 0; i < inMaster; ++i) {
            Security& s = m.securities[i];
            s.emaster = entries.value(s.fileNumber);
            if (s.emaster.isEmpty())
                continue;
            const quint8 bits = static_cast<quint8>(s.emaster[7]);
            if ((bits & 0x0F) == 0x0F && std::popcount(bits) == s.layout.fields)
                s.layout = Layout::fromBits(bits);
            s.longName = textField(s.emaster, 139, 52);
        }
    }

    if (!xmaster.isEmpty()) {
        if (xmaster.size() < kXmasterSize || !xmaster.startsWith(QByteArray("\x5D\xFE\x58\x4D", 4)))
            damaged("XMASTER", QStringLiteral("has no XMASTER header"));
        const int count = getU16(xmaster.constData() + 10);
        if (xmaster.size() != (count + 1) * kXmasterSize)
            damaged("XMASTER", QStringLiteral("holds %1 bytes for %2 securities").arg(xmaster.size()).arg(count));
        m.xmasterHeader = xmaster.left(kXmasterSize);
        for (int i = 0; i < count; ++i) {
            const QByteArray e = xmaster.mid((i + 1) * kXmasterSize, kXmasterSize);
            const char* p = e.constData();
            Security s;
            s.fileNumber = getU16(p + 65);
            const quint8 bits = static_cast<quint8>(p[70]);
            const int fields = std::popcount(bits);
            if (s.fileNumber <= kMasterLimit || numbers.contains(s.fileNumber) || (bits & 0x0F) != 0x0F || fields < 5)
                damaged("XMASTER", QStringLiteral("entry %1 is not a security").arg(i + 1));
            numbers.insert(s.fileNumber);
            s.layout = Layout::fromBits(bits);
            s.symbol = textField(e, 1, 15);
            s.longName = textField(e, 16, 46);
            s.name = s.longName.left(kShortNameLength).trimmed();
            s.firstDate = plausible(getI32(p + 108));
            s.lastDate = plausible(getI32(p + 116));
            s.xmaster = e;
            m.securities.push_back(s);
        }
    }
    return m;
}

QStringList salvageSymbols(const QByteArray& master, const QByteArray& emaster, const QByteArray& xmaster)
{
    QStringList out;
    auto collect = [&out](const QByteArray& bytes, int size, int offset, int length) {
        for (qsizetype at = size; at + size <= bytes.size(); at += size) {
            const QString symbol = textField(bytes.mid(at, size), offset, length);
            const bool printable = !symbol.isEmpty() && std::all_of(symbol.begin(), symbol.end(), [](QChar c) {
                return c.unicode() > 0x20 && c.unicode() < 0x7F;
            });
            if (printable && !out.contains(symbol, Qt::CaseInsensitive))
                out << symbol;
        }
    };
    collect(master, kMasterSize, 36, kSymbolLength);
    collect(emaster, kEmasterSize, 11, kSymbolLength);
    collect(xmaster, kXmasterSize, 1, 15);
    return out;
}

QByteArray masterEntry(const Security& s)
{
    QByteArray e = s.master;
    if (e.size() != kMasterSize) {
        e = QByteArray(kMasterSize, '\0');
        e[1] = 0x65;
        std::memset(e.data() + 7, ' ', kShortNameLength);
        e[33] = 'D';
        std::memset(e.data() + 36, ' ', kSymbolLength + 2);
    }
    char* p = e.data();
    p[0] = static_cast<char>(s.fileNumber);
    p[3] = static_cast<char>(s.layout.recordSize());
    p[4] = static_cast<char>(s.layout.fields);
    putText(e, 7, kShortNameLength, s.name, ' ', false);
    putMbf(p + 25, fileDateFloat(s.firstDate));
    putMbf(p + 29, fileDateFloat(s.lastDate));
    putText(e, 36, kSymbolLength, s.symbol, ' ', false);
    return e;
}

QByteArray masterBytes(const Masters& m)
{
    QByteArray out = m.masterHeader.size() == kMasterSize ? m.masterHeader : QByteArray(kMasterSize, '\0');
    int count = 0, highest = 0;
    for (const Security& s : m.securities) {
        if (!s.inMaster())
            continue;
        ++count;
        highest = std::max(highest, s.fileNumber);
        out += masterEntry(s);
    }
    putU16(out.data(), static_cast<quint16>(count));
    putU16(out.data() + 2, static_cast<quint16>(highest));
    return out;
}

QByteArray emasterEntry(const Security& s)
{
    QByteArray e = s.emaster;
    if (e.size() != kEmasterSize) {
        e = QByteArray(kEmasterSize, '\0');
        e[9] = ' ';
        e[60] = 'D';
    }
    char* p = e.data();
    p[2] = static_cast<char>(s.fileNumber);
    p[6] = static_cast<char>(s.layout.fields);
    p[7] = static_cast<char>(s.layout.bits());
    putText(e, 11, kSymbolLength, s.symbol, '\0', false);
    putText(e, 32, kShortNameLength, s.name, '\0', false);
    putIeee(p + 64, fileDateFloat(s.firstDate));
    putIeee(p + 72, fileDateFloat(s.lastDate));
    putI32(p + 126, s.firstDate);
    putText(e, 139, 52, s.longName, '\0', true);
    return e;
}

QByteArray emasterBytes(const Masters& m)
{
    const QByteArray master = masterBytes(m);
    QByteArray out = m.emasterHeader.size() == kEmasterSize ? m.emasterHeader : QByteArray(kEmasterSize, '\0');
    // The first 53 bytes repeat MASTER's header.
    std::memcpy(out.data(), master.constData(), kMasterSize);
    for (const Security& s : m.securities) {
        if (s.inMaster())
            out += emasterEntry(s);
    }
    return out;
}

QByteArray xmasterEntry(const Security& s)
{
    QByteArray e = s.xmaster;
    if (e.size() != kXmasterSize) {
        e = QByteArray(kXmasterSize, '\0');
        e[0] = 0x01;
        e[62] = 'D';
    }
    char* p = e.data();
    putText(e, 1, 15, s.symbol, '\0', true);
    putText(e, 16, 46, s.displayName(), '\0', true);
    putU16(p + 65, static_cast<quint16>(s.fileNumber));
    p[70] = static_cast<char>(s.layout.bits());
    putI32(p + 104, s.firstDate);
    putI32(p + 108, s.firstDate);
    putI32(p + 116, s.lastDate);
    return e;
}

QByteArray xmasterBytes(const Masters& m)
{
    QByteArray out = m.xmasterHeader.size() == kXmasterSize ? m.xmasterHeader : QByteArray(kXmasterSize, '\0');
    std::memcpy(out.data(), "\x5D\xFE\x58\x4D", 4);
    int count = 0, highest = kMasterLimit;
    for (const Security& s : m.securities) {
        if (s.inMaster())
            continue;
        ++count;
        highest = std::max(highest, s.fileNumber);
        out += xmasterEntry(s);
    }
    if (count == 0)
        return {};
    putU16(out.data() + 10, static_cast<quint16>(count));
    putU16(out.data() + 14, static_cast<quint16>(count));
    putU16(out.data() + 18, static_cast<quint16>(highest + 1));
    return out;
}

}  // namespace mslink
