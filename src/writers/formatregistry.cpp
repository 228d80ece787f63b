#include "writers/formatregistry.h"

#include "database/settingstable.h"
#include "support/messages.h"
#include "writers/codecs/builtin.h"
#include "writers/codecs/codec.h"
#include "writers/formatwriter.h"
#include "writers/symbolwriter.h"

#include <algorithm>
#include <climits>

namespace formats {
namespace {

// The formats the program is built with, in writer order: one line each.
std::deque<ExportFormat> builtIn()
{
    return {
        codecs::excel(),       codecs::amibroker(), codecs::prn(), codecs::metastock(), codecs::stockguru(),
        codecs::advancedGet(), codecs::ascii(),     codecs::kbf(), codecs::vision(),    codecs::vikingen(),
    };
}

struct Registry {
    std::deque<ExportFormat> formats = builtIn();
    std::vector<std::reference_wrapper<const ExportFormat>> menu;
    std::vector<std::reference_wrapper<const ExportFormat>> checked;

    Registry() { sortMenu(); }
    void sortMenu()
    {
        menu.assign(formats.begin(), formats.end());
        std::stable_sort(menu.begin(), menu.end(),
                         [](const ExportFormat& a, const ExportFormat& b) { return a.menuPosition < b.menuPosition; });
        checked.clear();
        for (const ExportFormat& f : formats) {
            if (f.stored)
                checked.push_back(f);
        }
        const auto place = [](const ExportFormat& f) { return f.checkPosition > 0 ? f.checkPosition : INT_MAX; };
        std::stable_sort(checked.begin(), checked.end(),
                         [&](const ExportFormat& a, const ExportFormat& b) { return place(a) < place(b); });
    }
};

Registry& theRegistry()
{
    static Registry r;
    return r;
}

}  // namespace

const std::deque<ExportFormat>& registry() { return theRegistry().formats; }

const std::vector<std::reference_wrapper<const ExportFormat>>& all() { return theRegistry().menu; }

const std::vector<std::reference_wrapper<const ExportFormat>>& checkOrder() { return theRegistry().checked; }

std::vector<std::reference_wrapper<const ExportFormat>> storedOrder()
{
    std::vector<std::reference_wrapper<const ExportFormat>> out;
    for (bool folders : {false, true}) {
        for (const ExportFormat& f : registry()) {
            if (f.stored && f.stored->keepsFolders() == folders)
                out.push_back(f);
        }
    }
    return out;
}

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

const ExportFormat* find(QChar letter)
{
    const QChar upper = letter.toUpper();
    for (const ExportFormat& f : registry()) {
        if (f.letter == upper)
            return &f;
    }
    return nullptr;
}

void add(const ExportFormat& format)
{
    Q_ASSERT(!find(format.letter));
    Registry& r = theRegistry();
    r.formats.push_back(format);
    r.formats.back().menuPosition = static_cast<int>(r.formats.size());
    r.sortMenu();
}

void resetRegistry()
{
    Registry& r = theRegistry();
    const size_t builtInCount = builtIn().size();
    while (r.formats.size() > builtInCount)
        r.formats.pop_back();
    r.sortMenu();
}

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

const char* ExportFormat::selectedColumn() const { return settingstable::columnOf(selected); }

const char* ExportFormat::folderColumn() const { return folder ? settingstable::columnOf(folder) : nullptr; }

const char* ExportFormat::longNamesColumn() const { return longNames ? settingstable::columnOf(longNames) : nullptr; }

bool ExportFormat::isOn() const { return selected && settings().*selected; }

QString ExportFormat::name() const { return QString::fromLatin1(caption).remove(QLatin1Char('&')); }
