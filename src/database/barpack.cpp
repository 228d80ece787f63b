#include "database/barpack.h"

#include <array>
#include <iterator>

namespace barpack {

namespace {

constexpr int kMaxDigits = 18;  // every such integer fits a qint64
constexpr unsigned char kGeneral = 0xFF;
constexpr unsigned char kHasInterest = 0x10;
constexpr unsigned char kNoVolume = 0x20;
constexpr unsigned char kTextTag = 0x40;
constexpr int kMaxCompactDecimals = 14;
constexpr int kMaxDecimals = 18;

constexpr std::array<double, kMaxDecimals + 1> kPowers = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                                          1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

quint64 zigzag(qint64 v) { return (static_cast<quint64>(v) << 1) ^ static_cast<quint64>(v >> 63); }
qint64 unzigzag(quint64 v) { return static_cast<qint64>(v >> 1) ^ -static_cast<qint64>(v & 1); }

struct Reader {
    QByteArrayView bytes;
    qsizetype at = 0;

    bool byte(unsigned char* b)
    {
        if (at >= bytes.size())
            return false;
        *b = static_cast<unsigned char>(bytes[at++]);
        return true;
    }
    bool varint(quint64* v) { return getVarint(bytes, at, v); }
    bool signedVarint(qint64* v)
    {
        quint64 u;
        if (!varint(&u))
            return false;
        *v = unzigzag(u);
        return true;
    }
};

// The number of a decimal text: the integer over a power of ten, which
// rounds exactly as reading the text does for integers below 2^53.
double valueOf(qint64 mantissa, int decimals)
{
    constexpr qint64 kExact = qint64(1) << 53;
    if (mantissa >= kExact || mantissa <= -kExact)
        return decimalText(mantissa, decimals).toDouble();
    return static_cast<double>(mantissa) / kPowers[static_cast<size_t>(decimals)];
}

core::Figure figureOf(qint64 mantissa, int decimals)
{
    return core::Figure(decimalText(mantissa, decimals), valueOf(mantissa, decimals));
}

void setFigure(core::Figure& f, qint64 mantissa, int decimals, TextCache* texts)
{
    f.text = texts ? texts->text(mantissa, decimals) : decimalText(mantissa, decimals);
    f.value = valueOf(mantissa, decimals);
}

struct Plain {
    bool given = false;
    bool decimal = false;
    qint64 mantissa = 0;
    int decimals = 0;
};

Plain plainOf(const core::Figure& f)
{
    Plain p;
    p.given = f.given();
    p.decimal = p.given && decimal(f.text, &p.mantissa, &p.decimals);
    return p;
}

void packGeneral(const core::Bar& bar, QByteArray& out)
{
    out.append(static_cast<char>(kGeneral));
    for (const core::Figure* f : {&bar.open, &bar.high, &bar.low, &bar.close, &bar.volume, &bar.openInterest}) {
        const Plain p = plainOf(*f);
        if (!p.given) {
            out.append('\0');
        } else if (p.decimal) {
            out.append(static_cast<char>(p.decimals + 1));
            putVarint(out, zigzag(p.mantissa));
        } else {
            const QByteArray utf8 = f->text.toUtf8();
            out.append(static_cast<char>(kTextTag));
            putVarint(out, static_cast<quint64>(utf8.size()));
            out.append(utf8);
        }
    }
}

bool unpackGeneral(Reader& r, core::Bar& bar)
{
    for (core::Figure* f : {&bar.open, &bar.high, &bar.low, &bar.close, &bar.volume, &bar.openInterest}) {
        unsigned char tag;
        if (!r.byte(&tag))
            return false;
        if (tag == 0) {
            *f = core::Figure();
        } else if (tag <= kMaxDecimals + 1) {
            qint64 m;
            if (!r.signedVarint(&m))
                return false;
            *f = figureOf(m, tag - 1);
        } else if (tag == kTextTag) {
            quint64 size;
            if (!r.varint(&size) || size > quint64(r.bytes.size() - r.at))
                return false;
            const QByteArrayView utf8 = r.bytes.sliced(r.at, static_cast<qsizetype>(size));
            r.at += static_cast<qsizetype>(size);
            *f = core::Figure::parse(QString::fromUtf8(utf8));
            if (!f->given() && size > 0)  // a text that is no number is kept all the same
                f->text = QString::fromUtf8(utf8);
        } else {
            return false;
        }
    }
    return r.at == r.bytes.size();
}

}  // namespace

char* varintAt(char* p, quint64 v)
{
    while (v >= 0x80) {
        *p++ = static_cast<char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<char>(v);
    return p;
}

void putVarint(QByteArray& out, quint64 v)
{
    char bytes[kMostVarint];
    out.append(bytes, varintAt(bytes, v) - bytes);
}

bool getVarint(QByteArrayView bytes, qsizetype& at, quint64* v)
{
    quint64 result = 0;
    for (int shift = 0; shift < 64 && at < bytes.size(); shift += 7) {
        const auto b = static_cast<unsigned char>(bytes[at++]);
        result |= quint64(b & 0x7F) << shift;
        if (!(b & 0x80)) {
            *v = result;
            return true;
        }
    }
    return false;
}

bool decimal(const QString& text, qint64* mantissa, int* decimals)
{
    // One pass over the UTF-16 units: this runs six times for every bar put.
    // More digits than kMaxDigits wrap `m` around, and are refused after.
    const char16_t* p = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = p + text.size();
    const auto digit = [](char16_t c) { return static_cast<char16_t>(c - u'0') < 10; };
    const bool negative = p < end && *p == u'-';
    if (negative)
        ++p;
    const char16_t* const intStart = p;
    quint64 m = 0;
    while (p < end && digit(*p))
        m = m * 10 + (*p++ - u'0');
    const qsizetype intDigits = p - intStart;
    // "0", "12" and "0.5" print back as they are; "007", ".5" and "-" do not.
    if (intDigits == 0 || (intDigits > 1 && *intStart == u'0'))
        return false;
    qsizetype fraction = 0;
    if (p < end && *p == u'.') {
        const char16_t* const fractionStart = ++p;
        while (p < end && digit(*p))
            m = m * 10 + (*p++ - u'0');
        fraction = p - fractionStart;
        if (fraction == 0)
            return false;  // "12." would come back as "12"
    }
    if (p != end || intDigits + fraction > kMaxDigits || fraction > kMaxDecimals)
        return false;
    if (negative && m == 0)
        return false;  // "-0" and "-0.00" keep their sign only as text
    *mantissa = negative ? -static_cast<qint64>(m) : static_cast<qint64>(m);
    *decimals = static_cast<int>(fraction);
    return true;
}

QString decimalText(qint64 mantissa, int decimals)
{
    // Written backwards into a buffer: this runs six times for every bar read.
    char16_t buffer[48];
    char16_t* p = std::end(buffer);
    quint64 m = mantissa < 0 ? 0 - static_cast<quint64>(mantissa) : static_cast<quint64>(mantissa);
    int written = 0;
    do {
        if (written == decimals && decimals > 0)
            *--p = u'.';
        *--p = static_cast<char16_t>(u'0' + m % 10);
        m /= 10;
        ++written;
    } while (m != 0 || written <= decimals);
    if (mantissa < 0)
        *--p = u'-';
    return QString(reinterpret_cast<const QChar*>(p), static_cast<qsizetype>(std::end(buffer) - p));
}

char* packCompact(const core::Bar& bar, char* p)
{
    const Plain o = plainOf(bar.open), h = plainOf(bar.high), l = plainOf(bar.low), c = plainOf(bar.close);
    const Plain v = plainOf(bar.volume), oi = plainOf(bar.openInterest);
    const bool pricesCompact = o.decimal && h.decimal && l.decimal && c.decimal && o.decimals == c.decimals &&
                               h.decimals == c.decimals && l.decimals == c.decimals &&
                               c.decimals <= kMaxCompactDecimals;
    const bool volumeCompact = !v.given || (v.decimal && v.decimals == 0);
    const bool interestCompact = !oi.given || (oi.decimal && oi.decimals == 0);
    if (!pricesCompact || !volumeCompact || !interestCompact)
        return nullptr;
    unsigned char head = static_cast<unsigned char>(c.decimals);
    if (oi.given)
        head |= kHasInterest;
    if (!v.given)
        head |= kNoVolume;
    *p++ = static_cast<char>(head);
    p = varintAt(p, zigzag(c.mantissa));
    p = varintAt(p, zigzag(o.mantissa - c.mantissa));
    p = varintAt(p, zigzag(h.mantissa - c.mantissa));
    p = varintAt(p, zigzag(l.mantissa - c.mantissa));
    if (v.given)
        p = varintAt(p, zigzag(v.mantissa));
    if (oi.given)
        p = varintAt(p, zigzag(oi.mantissa));
    return p;
}

void pack(const core::Bar& bar, QByteArray& out)
{
    // Made in place, appended at once.
    char bytes[kMostCompact];
    if (const char* end = packCompact(bar, bytes))
        out.append(bytes, end - bytes);
    else
        packGeneral(bar, out);
}

TextCache::TextCache() : slots_(std::make_unique<Slot[]>(size_t(1) << kBits)) {}

TextCache::~TextCache() = default;

QString TextCache::text(qint64 mantissa, int decimals)
{
    const quint64 key = (static_cast<quint64>(mantissa) * 0x9E3779B97F4A7C15ull) ^ static_cast<quint64>(decimals);
    Slot& slot = slots_[key >> (64 - kBits)];
    if (slot.decimals != decimals || slot.mantissa != mantissa) {
        slot.text = decimalText(mantissa, decimals);
        slot.mantissa = mantissa;
        slot.decimals = decimals;
    }
    return slot.text;
}

bool unpack(QByteArrayView bytes, core::Bar& bar, TextCache* texts)
{
    Reader r{bytes};
    unsigned char head;
    if (!r.byte(&head))
        return false;
    if (head == kGeneral)
        return unpackGeneral(r, bar);
    if (head & ~(kHasInterest | kNoVolume | 0x0F))
        return false;
    const int decimals = head & 0x0F;
    if (decimals > kMaxCompactDecimals)
        return false;
    qint64 c, o, h, l;
    if (!r.signedVarint(&c) || !r.signedVarint(&o) || !r.signedVarint(&h) || !r.signedVarint(&l))
        return false;
    setFigure(bar.close, c, decimals, texts);
    setFigure(bar.open, c + o, decimals, texts);
    setFigure(bar.high, c + h, decimals, texts);
    setFigure(bar.low, c + l, decimals, texts);
    bar.volume = core::Figure();
    bar.openInterest = core::Figure();
    // Volumes seldom come back: made each time.
    qint64 v;
    if (!(head & kNoVolume)) {
        if (!r.signedVarint(&v))
            return false;
        setFigure(bar.volume, v, 0, nullptr);
    }
    if (head & kHasInterest) {
        if (!r.signedVarint(&v))
            return false;
        setFigure(bar.openInterest, v, 0, nullptr);
    }
    return r.at == bytes.size();
}

}  // namespace barpack
