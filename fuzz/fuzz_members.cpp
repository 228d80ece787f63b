#include "quotes/lookup.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the fields asked for and the component mode.
    const bool getname = data[0] & 1, getmarket = data[0] & 2, components = data[0] & 4;
    const QByteArrayView body(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const LookupResult r = decodeLookup(body, getname, getmarket, components);
    const qsizetype n = r.yahooticker.size();
    if (r.yahooname.size() != (getname ? n : 0) || r.yahoomarket.size() != (getmarket ? n : 0))
        std::abort();
    for (const QString& market : r.yahoomarket) {
        if (market.trimmed().isEmpty())
            std::abort();
    }
    return 0;
}
