#include "quotes/pages.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto start = findHistoryStart(page);
    if (start &&
        (start->month == 0 || start->day < -32768 || start->day > 32767 || start->year < -32768 || start->year > 32767))
        std::abort();
    return 0;
}
