#include "app/commands_options.h"

#include "app/headless.h"
#include "runs/options.h"
#include "support/state.h"
#include "support/textconv.h"

int cmdOptions(HeadlessContext& c)
{
    if (!c.args.isEmpty()) {
        c.err << "options takes no arguments\n";
        return 2;
    }
    if (!headlessStartup(c))
        return 1;
    for (const auto& [name, value] : options::describe())
        c.out << name << ": " << value << '\n';
    QStringList lists;
    for (int n : options::chosenLists())
        lists << QString::number(n);
    c.out << "download lists: " << lists.join(QLatin1Char(',')) << '\n';
    return 0;
}

int cmdOption(HeadlessContext& c)
{
    if (c.args.size() != 2) {
        c.err << "usage: option NAME VALUE\n";
        return 2;
    }
    if (!headlessStartup(c))
        return 1;
    const QString error = options::setByName(c.args[0], c.args[1]);
    if (!error.isEmpty()) {
        c.err << error << '\n';
        return 2;
    }
    for (const auto& [name, value] : options::describe()) {
        if (name.compare(c.args[0], Qt::CaseInsensitive) == 0)
            c.out << name << ": " << value << '\n';
    }
    return 0;
}

int cmdDownloadLists(HeadlessContext& c)
{
    if (c.args.size() != 1) {
        c.err << "usage: download-lists N,M,...\n";
        return 2;
    }
    std::array<bool, 17> chosen{};
    for (const QString& part : c.args[0].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const auto n = textconv::toInteger(part, 1, 16);
        if (!n) {
            c.err << "Not a list number from 1 to 16: " << part << '\n';
            return 2;
        }
        chosen[static_cast<size_t>(*n)] = true;
    }
    if (!headlessStartup(c))
        return 1;
    options::saveDownloadLists(chosen);
    for (int n = 1; n <= 16; ++n) {
        if (chosen[static_cast<size_t>(n)])
            c.out << "list " << n << " - " << settings().listNames[n].trimmed() << '\n';
    }
    return 0;
}
