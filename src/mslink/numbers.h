#pragma once

#include <QtGlobal>
#include <cstring>

// The number encodings of MetaStock files: little-endian integers, IEEE
// singles and Microsoft Binary Format (MBF) singles, and the format's dates.
namespace mslink {

inline quint16 getU16(const char* p)
{
    return static_cast<quint16>(static_cast<quint8>(p[0]) | static_cast<quint8>(p[1]) << 8);
}

inline void putU16(char* p, quint16 v)
{
    p[0] = static_cast<char>(v & 0xFF);
    p[1] = static_cast<char>(v >> 8);
}

inline quint32 getU32(const char* p)
{
    return static_cast<quint32>(static_cast<quint8>(p[0])) | static_cast<quint32>(static_cast<quint8>(p[1])) << 8 |
           static_cast<quint32>(static_cast<quint8>(p[2])) << 16 |
           static_cast<quint32>(static_cast<quint8>(p[3])) << 24;
}

inline void putU32(char* p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

inline qint32 getI32(const char* p) { return static_cast<qint32>(getU32(p)); }
inline void putI32(char* p, qint32 v) { putU32(p, static_cast<quint32>(v)); }

inline void putIeee(char* p, float v)
{
    quint32 bits;
    std::memcpy(&bits, &v, 4);
    putU32(p, bits);
}

// The four MBF bytes (as a little-endian word) of an IEEE single. Zero, and
// values too small for MBF, become all zero bytes; values too large, the
// largest MBF value of their sign.
quint32 toMbf(float value);
// The IEEE single of four MBF bytes; any exponent byte of 0 is zero.
float fromMbf(quint32 mbf);

inline float getMbf(const char* p) { return fromMbf(getU32(p)); }
inline void putMbf(char* p, float v) { putU32(p, toMbf(v)); }

// Dates: YYYYMMDD as the program uses them, (year - 1900) * 10000 + MMDD in
// the files' float fields.
inline qint32 toFileDate(qint32 yyyymmdd) { return yyyymmdd == 0 ? 0 : yyyymmdd - 19000000; }
inline qint32 fromFileDate(qint32 fileDate) { return fileDate == 0 ? 0 : fileDate + 19000000; }

}  // namespace mslink
