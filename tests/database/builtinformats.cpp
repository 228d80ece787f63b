// The database layer knows the export formats' columns of the settings row
// only from the format registry in use, as the program does: these tests
// run with the formats the program is built with.
#include "writers/formatregistry.h"

namespace {
const FormatRegistry builtIn;
const formats::Use use(builtIn);
}  // namespace
