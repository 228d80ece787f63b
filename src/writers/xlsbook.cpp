#include "writers/xlsbook.h"

#include "support/errors.h"
#include "support/safefile.h"
#include "writers/cfbfile.h"

#include <QDir>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {
constexpr int kMaxPayload = 8224;
constexpr quint16 kCellXf = 15;

namespace rec {
constexpr quint16 Bof = 0x0809, Codepage = 0x0042, Window1 = 0x003D, Font = 0x0031, Xf = 0x00E0, Style = 0x0293,
                  BoundSheet = 0x0085, Sst = 0x00FC, Continue = 0x003C, ExtSst = 0x00FF, Eof = 0x000A,
                  Dimensions = 0x0200, Window2 = 0x023E, Number = 0x0203, LabelSst = 0x00FD;
}

// Little-endian record builder.
struct Bytes {
    QByteArray& b;
    void u8(quint8 v) { b.append(static_cast<char>(v)); }
    void u16(quint16 v)
    {
        char raw[2];
        qToLittleEndian(v, raw);
        b.append(raw, 2);
    }
    void u32(quint32 v)
    {
        char raw[4];
        qToLittleEndian(v, raw);
        b.append(raw, 4);
    }
    void f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, sizeof bits);
        char raw[8];
        qToLittleEndian(bits, raw);
        b.append(raw, 8);
    }
    void zeros(int n) { b.append(n, '\0'); }
    // A record header; returns where its length goes.
    int record(quint16 id, quint16 length)
    {
        u16(id);
        const int at = static_cast<int>(b.size());
        u16(length);
        return at;
    }
};

void patch16(QByteArray& b, int at, quint16 v) { qToLittleEndian(v, b.data() + at); }

void patch32(QByteArray& b, int at, quint32 v) { qToLittleEndian(v, b.data() + at); }

void bof(Bytes& o, quint16 type)
{
    o.record(rec::Bof, 16);
    o.u16(0x0600);
    o.u16(type);
    o.u16(0x0DBB);  // build
    o.u16(0x07CC);  // year
    o.u32(0x00000001);
    o.u32(0x00000006);
}

// A short name: one length byte, a flags byte, Latin-1 characters.
void shortName(Bytes& o, const QString& name)
{
    const QByteArray latin = name.toLatin1();
    o.u8(static_cast<quint8>(latin.size()));
    o.u8(0);
    o.b.append(latin);
}

// BOF to STYLE: fixed for every workbook.
QByteArray globalsHead()
{
    QByteArray b;
    Bytes o{b};
    bof(o, 0x0005);
    o.record(rec::Codepage, 2);
    o.u16(1200);
    o.record(rec::Window1, 18);
    for (quint16 v : {360, 270, 14940, 9150, 0x0038, 0, 0, 1, 600})
        o.u16(v);
    // Five fonts; index 4 does not exist in the format, so these are 0-3 and 5.
    for (int i = 0; i < 5; ++i) {
        o.record(rec::Font, 14 + 2 + 5);
        o.u16(200);
        o.u16(0);
        o.u16(0x7FFF);
        o.u16(400);
        o.u16(0);
        o.u8(0);
        o.u8(0);
        o.u8(0);
        o.u8(0);
        shortName(o, QStringLiteral("Arial"));
    }
    for (int i = 0; i < 16; ++i) {
        const bool style = i < 15;
        o.record(rec::Xf, 20);
        o.u16(i >= 1 && i <= 4 ? static_cast<quint16>((i + 1) / 2) : 0);  // font
        o.u16(0);                                                         // General
        o.u16(style ? 0xFFF5 : 0x0001);                                   // locked, style XF, parent
        o.u8(0x20);                                                       // alignment
        o.u8(0);
        o.u8(0);
        o.u8(style && i > 0 ? 0xF4 : 0);  // used attributes
        o.zeros(8);                       // borders
        o.u16(0x20C0);                    // fill colours
    }
    o.record(rec::Style, 4);
    o.u16(0x8000);
    o.u8(0);
    o.u8(0xFF);
    return b;
}

const QByteArray& head()
{
    static const QByteArray bytes = globalsHead();
    return bytes;
}

int boundSheetSize(const QString& name) { return 4 + 8 + static_cast<int>(name.toLatin1().size()); }

quint32 bucketSize(size_t strings) { return std::max<quint32>(8, static_cast<quint32>((strings + 127) / 128)); }

int extSstSize(size_t strings)
{
    const quint32 per = bucketSize(strings);
    return 4 + 2 + 8 * static_cast<int>((strings + per - 1) / per);
}
}  // namespace

XlsBook::XlsBook(const QString& sheetPrefix) : prefix_(sheetPrefix)
{
    sheets_.emplace_back();
    startSstRecord(rec::Sst);
    sst_.append(8, '\0');  // reference and string counts, filled in when written
}

QString XlsBook::sheetName(int index) const { return prefix_ + QString::number(index + 1); }

void XlsBook::spill(Sheet& sheet)
{
    if (!spill_) {
        auto file = std::make_shared<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/quotaris-xls-XXXXXX"));
        if (!file->open())
            return;
        spill_ = std::move(file);
    }
    const qint64 at = spill_->size();
    if (!spill_->seek(at) || spill_->write(sheet.cells) != sheet.cells.size()) {
        spill_->resize(at);  // what did go in is not used
        return;
    }
    sheet.spilledAt = at;
    sheet.spilledSize = sheet.cells.size();
    sheet.cells = QByteArray();
}

void XlsBook::addRow(const QVector<XlsCell>& cells)
{
    if (sheets_.back().rows == kRowsPerSheet) {
        spill(sheets_.back());
        sheets_.emplace_back();
    }
    Sheet& s = sheets_.back();
    const auto row = static_cast<quint16>(s.rows);
    Bytes o{s.cells};
    const int n = std::min<int>(static_cast<int>(cells.size()), kMaxColumns);
    for (int c = 0; c < n; ++c) {
        const XlsCell& cell = cells[c];
        if (cell.kind == XlsCell::Kind::Text && !cell.text.isEmpty()) {
            const quint32 index = stringIndex(cell.text);
            o.record(rec::LabelSst, 10);
            o.u16(row);
            o.u16(static_cast<quint16>(c));
            o.u16(kCellXf);
            o.u32(index);
            ++references_;
        } else if (cell.kind == XlsCell::Kind::Number && std::isfinite(cell.number)) {
            o.record(rec::Number, 14);
            o.u16(row);
            o.u16(static_cast<quint16>(c));
            o.u16(kCellXf);
            o.f64(cell.number);
        } else {
            continue;
        }
        s.columns = std::max(s.columns, c + 1);
    }
    ++s.rows;
    ++rows_;
    ++version_;
}

quint32 XlsBook::stringIndex(const QString& text)
{
    const QString t = text.size() > kMaxText ? text.left(kMaxText) : text;
    const auto found = index_.constFind(t);
    if (found != index_.constEnd())
        return found.value();
    const auto index = static_cast<quint32>(positions_.size());
    index_.insert(t, index);
    appendString(t);
    return index;
}

void XlsBook::startSstRecord(quint16 id)
{
    if (!sst_.isEmpty())
        patch16(sst_, recordStart_ + 2, static_cast<quint16>(sst_.size() - recordStart_ - 4));
    recordStart_ = static_cast<int>(sst_.size());
    Bytes{sst_}.record(id, 0);
}

void XlsBook::appendString(const QString& text)
{
    const bool wide = std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xFF; });
    const int charSize = wide ? 2 : 1;
    const quint8 flags = wide ? 1 : 0;
    auto space = [this] { return kMaxPayload - static_cast<int>(sst_.size() - recordStart_ - 4); };
    // The header and at least one character (both halves of a surrogate
    // pair) stay together.
    auto pairAt = [&text](qsizetype i) { return i + 1 < text.size() && text.at(i).isHighSurrogate(); };
    if (space() < 3 + charSize * (pairAt(0) ? 2 : 1))
        startSstRecord(rec::Continue);
    positions_.push_back({static_cast<quint32>(sst_.size()), static_cast<quint16>(sst_.size() - recordStart_)});
    Bytes o{sst_};
    o.u16(static_cast<quint16>(text.size()));
    o.u8(flags);
    int done = 0;
    while (done < text.size()) {
        int n = std::min<int>(space() / charSize, static_cast<int>(text.size()) - done);
        // Readers decode each record's characters on their own: a surrogate
        // pair is never cut.
        if (n > 0 && pairAt(done + n - 1))
            --n;
        if (n == 0) {
            // The rest continues in a new record, which repeats the flags.
            startSstRecord(rec::Continue);
            o.u8(flags);
            continue;
        }
        for (int i = done; i < done + n; ++i) {
            if (wide)
                o.u16(text.at(i).unicode());
            else
                o.u8(static_cast<quint8>(text.at(i).unicode()));
        }
        done += n;
    }
}

int XlsBook::globalsSize() const
{
    int size = static_cast<int>(head().size());
    for (int i = 0; i < sheets(); ++i)
        size += boundSheetSize(sheetName(i));
    return size + static_cast<int>(sst_.size()) + extSstSize(positions_.size()) + 4;
}

QByteArray XlsBook::globals(const std::vector<quint32>& sheetOffsets, quint32 sstStart) const
{
    QByteArray b;
    b.reserve(globalsSize());
    b.append(head());
    Bytes o{b};
    for (int i = 0; i < sheets(); ++i) {
        const QString name = sheetName(i);
        o.record(rec::BoundSheet, static_cast<quint16>(boundSheetSize(name) - 4));
        o.u32(sheetOffsets[static_cast<size_t>(i)]);
        o.u8(0);  // visible
        o.u8(0);  // worksheet
        shortName(o, name);
    }
    const int sstAt = static_cast<int>(b.size());
    b.append(sst_);
    patch16(b, sstAt + recordStart_ + 2, static_cast<quint16>(sst_.size() - recordStart_ - 4));
    patch32(b, sstAt + 4, references_);
    patch32(b, sstAt + 8, static_cast<quint32>(positions_.size()));

    const quint32 per = bucketSize(positions_.size());
    o.record(rec::ExtSst, static_cast<quint16>(extSstSize(positions_.size()) - 4));
    o.u16(static_cast<quint16>(per));
    for (size_t i = 0; i < positions_.size(); i += per) {
        o.u32(sstStart + positions_[i].blobOffset);
        o.u16(positions_[i].recordOffset);
        o.u16(0);
    }
    o.record(rec::Eof, 0);
    return b;
}

QByteArray XlsBook::sheetHead(int index) const
{
    const Sheet& s = sheets_[static_cast<size_t>(index)];
    QByteArray b;
    Bytes o{b};
    bof(o, 0x0010);
    o.record(rec::Dimensions, 14);
    o.u32(0);
    o.u32(static_cast<quint32>(s.rows));
    o.u16(0);
    o.u16(static_cast<quint16>(s.columns));
    o.u16(0);
    return b;
}

QByteArray XlsBook::sheetTail(int index)
{
    QByteArray b;
    Bytes o{b};
    o.record(rec::Window2, 18);
    // Only the first sheet is selected and shown.
    o.u16(index == 0 ? 0x06B6 : 0x00B6);
    o.u16(0);
    o.u16(0);
    o.u16(0x40);
    o.zeros(10);
    o.record(rec::Eof, 0);
    return b;
}

void XlsBook::parts(std::vector<QByteArray>& owned, std::vector<cfb::Part>& views) const
{
    owned.clear();
    owned.reserve(1 + 2 * sheets_.size());  // views point into it: no reallocation
    std::vector<quint32> offsets;
    quint32 at = static_cast<quint32>(globalsSize());
    for (int i = 0; i < sheets(); ++i) {
        offsets.push_back(at);
        const QByteArray& h = owned.emplace_back(sheetHead(i));
        const QByteArray& t = owned.emplace_back(sheetTail(i));
        at += static_cast<quint32>(h.size() + sheets_[static_cast<size_t>(i)].cellsSize() + t.size());
    }
    quint32 sstStart = static_cast<quint32>(head().size());
    for (int i = 0; i < sheets(); ++i)
        sstStart += static_cast<quint32>(boundSheetSize(sheetName(i)));
    const QByteArray& g = owned.emplace_back(globals(offsets, sstStart));
    views.clear();
    views.emplace_back(g);
    for (size_t i = 0; i < sheets_.size(); ++i) {
        views.emplace_back(owned[2 * i]);
        const Sheet& sheet = sheets_[i];
        if (sheet.spilledAt >= 0)
            views.emplace_back(spill_.get(), sheet.spilledAt, sheet.spilledSize);
        else
            views.emplace_back(sheet.cells);
        views.emplace_back(owned[2 * i + 1]);
    }
}

QByteArray XlsBook::stream() const
{
    std::vector<QByteArray> owned;
    std::vector<cfb::Part> views;
    parts(owned, views);
    QByteArray out;
    for (const cfb::Part& v : views) {
        if (!v.source) {
            out.append(v.bytes);
        } else if (v.source->seek(v.offset)) {
            const QByteArray cells = v.source->read(v.size);
            if (cells.size() != v.size)
                throw FileError(*spill_, QStringLiteral("Cannot read"));
            out.append(cells);
        } else {
            throw FileError(*spill_, QStringLiteral("Cannot read"));
        }
    }
    return out;
}

void XlsBook::save(const QString& path) const
{
    std::vector<QByteArray> owned;
    std::vector<cfb::Part> views;
    parts(owned, views);
    SafeFile file(path);
    if (!file.open())
        throw FileError::fromErrno(file.error(), QStringLiteral("Cannot create"), path);
    errno = 0;
    if (!cfb::write(file.device(), views, QStringLiteral("Workbook"))) {
        const int error = errno != 0 ? errno : EIO;
        throw FileError::fromErrno(error, QStringLiteral("Cannot write"), path);
    }
    if (!file.commit())
        throw FileError::fromErrno(file.error() != 0 ? file.error() : EIO, QStringLiteral("Cannot write"), path);
}
