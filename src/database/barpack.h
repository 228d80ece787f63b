#pragma once

#include "core/bar.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>

// The bytes a stored bar's prices, volume and open interest take in the quote
// store: small enough for tens of millions of bars, and exact: every figure
// comes back with the very text it was stored with.
//
// A plain decimal text ("123.45", "-0.5", "1200") is kept as an integer and
// its count of decimals; anything else ("1e5", ".5", "007", a text of more
// than 18 digits) is kept as its text.
//
// Compact form, when the four prices share their count of decimals (0..14)
// and volume and open interest are whole or missing:
//   byte    decimals | 0x10 when an open interest follows | 0x20 without volume
//   varint  close, then open, high and low less the close (zigzag)
//   varint  volume (zigzag), unless 0x20
//   varint  open interest (zigzag), when 0x10
// General form, for the rest:
//   byte    0xFF
//   six figures (open, high, low, close, volume, open interest), each a tag
//   byte: 0 missing; 1..19 a decimal with tag-1 decimals, then its integer
//   (zigzag varint); 0x40 a text, then its UTF-8 length (varint) and bytes.
namespace barpack {

// The texts of the prices read back by one reader, each made once: a
// symbol's prices come back to the same values day after day, and a text
// made before is shared instead of made again.
class TextCache {
public:
    TextCache();
    ~TextCache();
    TextCache(const TextCache&) = delete;
    TextCache& operator=(const TextCache&) = delete;
    // decimalText(mantissa, decimals).
    QString text(qint64 mantissa, int decimals);

private:
    struct Slot {
        qint64 mantissa = 0;
        int decimals = -1;  // none yet
        QString text;
    };
    static constexpr int kBits = 10;
    std::unique_ptr<Slot[]> slots_;
};

// Appends the packed figures of `bar` to `out` (the date is kept apart).
void pack(const core::Bar& bar, QByteArray& out);
// The most bytes of a varint, and of the compact form.
constexpr int kMostVarint = 10;
constexpr int kMostCompact = 1 + 6 * kMostVarint;
// The compact form of `bar` at `p` (room for kMostCompact bytes): the byte
// after it, or nullptr when the bar takes the general form (pack() makes
// that).
char* packCompact(const core::Bar& bar, char* p);
// Fills the figures of `bar` from `bytes`; false when they are not a packed
// bar (the bar is then left with what was read so far). With `texts`, the
// prices' texts come from there.
bool unpack(QByteArrayView bytes, core::Bar& bar, TextCache* texts = nullptr);

// Unsigned LEB128 varints, shared with the store's month rows.
void putVarint(QByteArray& out, quint64 v);
// The varint at `p` (room for kMostVarint bytes); the byte after it.
char* varintAt(char* p, quint64 v);
// Reads one at `at`, moving `at` past it; false when the bytes end first.
bool getVarint(QByteArrayView bytes, qsizetype& at, quint64* v);

// The integer and count of decimals of a plain decimal text; false otherwise.
bool decimal(const QString& text, qint64* mantissa, int* decimals);
// The text of an integer with `decimals` decimals ("-0.05" for -5 and 2).
QString decimalText(qint64 mantissa, int decimals);

}  // namespace barpack
