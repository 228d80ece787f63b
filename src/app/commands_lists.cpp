#include "app/commands_lists.h"

#include "app/headless.h"
#include "database/clsdata.h"
#include "database/listimport.h"
#include "database/lists.h"
#include "support/state.h"

#include <algorithm>
#include <optional>

namespace {
// The options and the remaining (positional) arguments of a command.
struct Arguments {
    std::optional<QString> list;
    std::optional<QString> columns;
    QStringList positional;
    QString error;
    bool upperCase = false;  // --upper-case (import)
};

Arguments parse(const QStringList& args, bool withColumns)
{
    Arguments a;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        std::optional<QString>* option = nullptr;
        if (arg == QLatin1String("--list"))
            option = &a.list;
        else if (withColumns && arg == QLatin1String("--columns"))
            option = &a.columns;
        if (!withColumns && arg == QLatin1String("--upper-case")) {
            a.upperCase = true;
            continue;
        }
        if (option) {
            if (i + 1 >= args.size()) {
                a.error = arg + QStringLiteral(" needs a value");
                return a;
            }
            *option = args[++i];
        } else if (arg.startsWith(QLatin1String("--"))) {
            a.error = QStringLiteral("Unknown option: ") + arg;
            return a;
        } else {
            a.positional << arg;
        }
    }
    return a;
}
}  // namespace

int listNumber(HeadlessContext& c, const QString& text)
{
    bool ok = false;
    const int n = text.toInt(&ok);
    if (!ok || !lists::validList(n)) {
        c.err << "The list number must be 1 to 16, not \"" << text << "\"\n";
        return 0;
    }
    return n;
}

int cmdImport(HeadlessContext& c)
{
    const Arguments a = parse(c.args, false);
    if (!a.error.isEmpty() || !a.list || a.positional.size() != 1) {
        c.err << (a.error.isEmpty() ? QStringLiteral("Usage: quotaris import --list N [--upper-case] FILE") : a.error)
              << '\n';
        return 2;
    }
    const int n = listNumber(c, *a.list);
    if (n == 0)
        return 2;
    if (!headlessStartup(c))
        return 1;
    const listimport::FileResult file = listimport::readFile(a.positional[0]);
    if (file.tooBig) {
        c.err << "File to big\n";
        return 1;
    }
    if (!file.error.isEmpty()) {
        c.err << file.error << '\n';
        return 1;
    }
    c.out << file.entries.size() << " Symbols in file\n";
    if (!file.refused.isEmpty())
        c.err << "Not a symbol (a comma, quote or control character), left out: "
              << file.refused.join(QStringLiteral("; ")) << '\n';
    if (file.entries.isEmpty())
        return 1;
    // The quote service's symbols are upper case: offered, as the window does.
    QStringList entries = file.entries;
    const qsizetype lower =
        std::count_if(entries.begin(), entries.end(), [](const QString& e) { return e.toUpper() != e; });
    if (a.upperCase) {
        for (QString& e : entries)
            e = e.toUpper();
    } else if (lower > 0) {
        c.out << lower << " of the " << entries.size()
              << " symbols have lower-case letters; the quote service's symbols are upper case "
                 "(--upper-case imports them so)\n";
    }
    auto data = clsData::open();
    if (!data)
        return 1;
    const int before = lists::totalSymbolCount(data->db());
    QString last;
    listimport::Progress progress;
    progress.status = [&last](const QString& text) { last = text; };
    const listimport::Result result = listimport::importSymbols(*data, entries, n, progress);
    if (result.aborted) {
        c.err << "Import aborted after " << result.added << " symbols\n";
        return 1;
    }
    c.out << last << '\n';
    if (result.failed > 0)
        c.err << "Import failed: " << result.failed << " of " << file.entries.size() << " symbols could not be stored"
              << (result.error.isEmpty() ? QString() : QStringLiteral(" (") + result.error + QLatin1Char(')')) << '\n';
    c.out << (lists::totalSymbolCount(data->db()) - before) << " new symbols added to the database\n";
    c.out << "list " << n << " now holds " << lists::symbolCount(data->db(), n) << " symbols\n";
    return result.added == entries.size() && file.refused.isEmpty() ? 0 : 1;
}

int cmdExport(HeadlessContext& c)
{
    const Arguments a = parse(c.args, true);
    if (!a.error.isEmpty() || !a.list || !a.columns || a.positional.size() != 1) {
        c.err << (a.error.isEmpty()
                      ? QStringLiteral("Usage: quotaris export --list N --columns Symbol,Name,Market FILE")
                      : a.error)
              << '\n';
        return 2;
    }
    const int n = listNumber(c, *a.list);
    if (n == 0)
        return 2;
    QStringList columns;
    for (const QString& name : a.columns->split(QLatin1Char(','))) {
        const QString wanted = name.trimmed();
        bool known = false;
        for (const char* column : {"Symbol", "Name", "Market"}) {
            if (wanted.compare(QLatin1String(column), Qt::CaseInsensitive) == 0) {
                columns << QLatin1String(column);
                known = true;
            }
        }
        if (!known) {
            c.err << "Unknown column \"" << wanted << "\"; the columns are Symbol, Name and Market\n";
            return 2;
        }
    }
    if (!headlessStartup(c))
        return 1;
    auto data = clsData::open();
    if (!data)
        return 1;
    QString last;
    data->statusText = [&last](const QString& text) { last = text; };
    const int written = data->Export(a.positional[0], n, columns);
    if (written <= 0)
        return 1;  // an empty list or a file that could not be written, reported already
    c.out << last << " to " << a.positional[0] << '\n';
    return 0;
}

int cmdLists(HeadlessContext& c)
{
    if (!c.args.isEmpty()) {
        c.err << "lists takes no arguments\n";
        return 2;
    }
    if (!headlessStartup(c))
        return 1;
    auto data = clsData::open();
    if (!data)
        return 1;
    for (int n = 1; n <= lists::kCount; ++n)
        c.out << n << '\t' << settings().listNames[n] << '\t' << lists::symbolCount(data->db(), n) << '\n';
    return 0;
}

int cmdListName(HeadlessContext& c)
{
    if (c.args.size() != 2) {
        c.err << "Usage: quotaris list-name N TEXT\n";
        return 2;
    }
    const int n = listNumber(c, c.args[0]);
    if (n == 0)
        return 2;
    if (!headlessStartup(c))
        return 1;
    lists::setName(n, c.args[1]);
    c.out << lists::chooserCaption(n) << '\n';
    return 0;
}
