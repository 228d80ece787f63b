#include "mslink/numbers.h"

namespace mslink {

quint32 toMbf(float value)
{
    quint32 bits;
    std::memcpy(&bits, &value, 4);
    const quint32 sign = bits >> 31;
    const quint32 exponent = bits >> 23 & 0xFF;
    const quint32 mantissa = bits & 0x7FFFFF;
    // IEEE zero and subnormals: MBF has no such small values.
    if (exponent == 0)
        return 0;
    // MBF's exponent is IEEE's plus two; infinities, NaN and the two largest
    // IEEE exponents do not fit.
    if (exponent >= 254)
        return 0xFFu << 24 | sign << 23 | 0x7FFFFF;
    return (exponent + 2) << 24 | sign << 23 | mantissa;
}

float fromMbf(quint32 mbf)
{
    const quint32 exponent = mbf >> 24;
    // Exponents 1 and 2 would be IEEE subnormals; nothing writes them.
    if (exponent <= 2)
        return 0.0f;
    const quint32 sign = mbf >> 23 & 1;
    const quint32 bits = sign << 31 | (exponent - 2) << 23 | (mbf & 0x7FFFFF);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace mslink
