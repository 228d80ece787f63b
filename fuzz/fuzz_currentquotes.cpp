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
    const qsizetype n = q.yahooticker.size();
    if (q.yahoodate.size() != n || q.yahooTime.size() != n || q.yahooopen.size() != n || q.yahoohigh.size() != n ||
        q.yahoolow.size() != n || q.yahooclose.size() != n || q.yahoovolume.size() != n || q.yahooname.size() != n)
        std::abort();
    if (!q.decoded && (n != 0 || !q.notfound.isEmpty()))
        std::abort();
    for (const qint32 date : q.yahoodate) {
        if (date != 0 && (date < 19000101 || date > 20311231))
            std::abort();
    }
    return 0;
}
