#pragma once

#include <QByteArray>
#include <QString>

// Expected file bytes, built field by field from the format's tables.
struct Bytes {
    QByteArray b;
    explicit Bytes(int size) : b(size, '\0') {}
    // Hex bytes such as "B0 0A 6D 94" at `offset`.
    Bytes& hex(int offset, const char* text)
    {
        const QByteArray bytes = QByteArray::fromHex(QByteArray(text).replace(' ', ""));
        b.replace(offset, bytes.size(), bytes);
        return *this;
    }
    Bytes& byte(int offset, int value)
    {
        b[offset] = static_cast<char>(value);
        return *this;
    }
    // `text` padded with `pad` to `length` bytes.
    Bytes& text(int offset, int length, const char* text, char pad)
    {
        QByteArray t(text);
        t = t.leftJustified(length, pad, true);
        b.replace(offset, length, t);
        return *this;
    }
};
