#include "writers/formatregistry.h"

#include "support/messages.h"
#include "writers/codecs/builtin.h"
#include "writers/codecs/codec.h"
#include "writers/formatwriter.h"
#include "writers/symbolwriter.h"

#include <algorithm>
#include <climits>

namespace formats {
namespace {

// Until the program installs its own; the settings know its formats'
// columns from the start.
const FormatRegistry builtInRegistry;
const FormatRegistry* inUse = nullptr;
[[maybe_unused]] const bool builtInDeclared = [] {
    formatsettings::setBuiltIn(&builtInRegistry.declarations());
    return true;
}();

}  // namespace

const FormatRegistry& current() { return inUse ? *inUse : builtInRegistry; }

Use::Use(const FormatRegistry& registry) : previous_(inUse), settings_(registry.declarations()) { inUse = &registry; }

Use::~Use() { inUse = previous_; }

const std::deque<ExportFormat>& registry() { return current().formats(); }

const FormatList& all() { return current().menu(); }

const FormatList& checkOrder() { return current().checkOrder(); }

FormatList storedOrder() { return current().storedOrder(); }

QString letters(const std::vector<std::reference_wrapper<const ExportFormat>>& list, const QString& separator,
                const QString& last)
{
    QString out;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += i + 1 == list.size() ? last : separator;
        out += list[i].get().letter;
    }
    return out;
}

const ExportFormat* tailChecked()
{
    for (const ExportFormat& f : registry()) {
        if (f.isOn() && f.has(TailChecked))
            return &f;
    }
    return nullptr;
}

const ExportFormat* find(QChar letter) { return current().find(letter); }

bool anySelected()
{
    return std::any_of(registry().begin(), registry().end(), [](const ExportFormat& f) { return f.isOn(); });
}

bool formatGuard()
{
    if (anySelected())
        return true;
    msgBox(QStringLiteral("No Export format selected\r\nSelect a format in the menu Export format"));
    return false;
}

}  // namespace formats

FormatRegistry::FormatRegistry() : formats_(codecs::builtIn()) { sort(); }

void FormatRegistry::sort()
{
    declared_.clear();
    for (const ExportFormat& f : formats_)
        declared_.push_back({f.letter, f.columns});
    menu_.assign(formats_.begin(), formats_.end());
    std::stable_sort(menu_.begin(), menu_.end(),
                     [](const ExportFormat& a, const ExportFormat& b) { return a.menuPosition < b.menuPosition; });
    checked_.clear();
    for (const ExportFormat& f : formats_) {
        if (f.stored)
            checked_.push_back(f);
    }
    const auto place = [](const ExportFormat& f) { return f.checkPosition > 0 ? f.checkPosition : INT_MAX; };
    std::stable_sort(checked_.begin(), checked_.end(),
                     [&](const ExportFormat& a, const ExportFormat& b) { return place(a) < place(b); });
}

FormatList FormatRegistry::storedOrder() const
{
    FormatList out;
    for (bool folders : {false, true}) {
        for (const ExportFormat& f : formats_) {
            if (f.stored && f.stored->keepsFolders() == folders)
                out.push_back(f);
        }
    }
    return out;
}

const ExportFormat* FormatRegistry::find(QChar letter) const
{
    const QChar upper = letter.toUpper();
    for (const ExportFormat& f : formats_) {
        if (f.letter == upper)
            return &f;
    }
    return nullptr;
}

void FormatRegistry::add(const ExportFormat& format)
{
    Q_ASSERT(!find(format.letter));
    formats_.push_back(format);
    formats_.back().menuPosition = static_cast<int>(formats_.size());
    sort();
}

bool ExportFormat::isOn() const { return chosen().on; }

QString ExportFormat::name() const { return QString::fromLatin1(caption).remove(QLatin1Char('&')); }
