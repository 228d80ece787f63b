#include "writers/codecs/builtin.h"

#include "writers/formatregistry.h"

// The formats the program is built with, in the order the runs hand quotes
// to them: one line each, naming the function of its folder that makes its
// entry.
#define QUOTARIS_BUILT_IN_FORMATS(X)                                                                                   \
    X(excel)                                                                                                           \
    X(amibroker)                                                                                                       \
    X(prn)                                                                                                             \
    X(metastock)                                                                                                       \
    X(stockguru)                                                                                                       \
    X(advancedGet)                                                                                                     \
    X(ascii)                                                                                                           \
    X(kbf)                                                                                                             \
    X(vision)                                                                                                          \
    X(vikingen)

namespace codecs {

#define QUOTARIS_DECLARE(name) ExportFormat name();
QUOTARIS_BUILT_IN_FORMATS(QUOTARIS_DECLARE)
#undef QUOTARIS_DECLARE

std::deque<ExportFormat> builtIn()
{
#define QUOTARIS_ENTRY(name) name(),
    return {QUOTARIS_BUILT_IN_FORMATS(QUOTARIS_ENTRY)};
#undef QUOTARIS_ENTRY
}

}  // namespace codecs
