#include "support/changes.h"

Changes& changes()
{
    static Changes instance;
    return instance;
}

namespace announce {
void lists() { emit changes().listsChanged(); }
void symbols() { emit changes().symbolsChanged(); }
void settings() { emit changes().settingsChanged(); }
void filesWritten() { emit changes().filesWritten(); }
}  // namespace announce
