#include "quotes/pages.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto successor = findChangedTicker(page);
    if (successor && !plausibleTicker(*successor))
        std::abort();
    return 0;
}
