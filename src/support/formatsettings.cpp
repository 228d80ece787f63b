#include "support/formatsettings.h"

#include "support/paths.h"

namespace formatsettings {
namespace {

const std::vector<Declared>* builtIn = nullptr;
const std::vector<Declared>* inUse = nullptr;

}  // namespace

const std::vector<Declared>& declared()
{
    static const std::vector<Declared> none;
    if (inUse)
        return *inUse;
    return builtIn ? *builtIn : none;
}

const Declared* find(QChar letter)
{
    const QChar upper = letter.toUpper();
    for (const Declared& d : declared()) {
        if (d.letter == upper)
            return &d;
    }
    return nullptr;
}

FormatSettings defaults(QChar letter)
{
    FormatSettings s;
    s.folder = paths::fallbackFolder();
    if (const Declared* d = find(letter)) {
        for (const Column& c : d->columns.values)
            s.value(c.name) = QLatin1String(c.fallback);
    }
    return s;
}

void setBuiltIn(const std::vector<Declared>* list) { builtIn = list; }

Use::Use(const std::vector<Declared>& list) : previous_(inUse) { inUse = &list; }

Use::~Use() { inUse = previous_; }

}  // namespace formatsettings
