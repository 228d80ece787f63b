#include "quotes/currentquotes.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the rejection of volume-less quotes.
    const bool reject = data[0] & 1;
    const QByteArrayView body(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const CurrentQuotes q = decodeCurrentQuotes(body, reject, 2031);
    const qsizetype n = q.size();
    if (!q.decoded && (n != 0 || !q.notfound.isEmpty()))
        std::abort();
    for (const CurrentQuote& quote : q.quotes) {
        const qint32 date = quote.bar.date;
        if (date != 0 && (date < 19000101 || date > 20311231))
            std::abort();
        // Every accepted figure is a number whose text reads back as it.
        for (const core::Figure* f :
             {&quote.bar.open, &quote.bar.high, &quote.bar.low, &quote.bar.close, &quote.bar.volume}) {
            if (!f->given() || core::Figure::parse(f->text).value != f->value)
                std::abort();
        }
    }
    return 0;
}
