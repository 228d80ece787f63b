#include "app/commands_search.h"

#include "app/headless.h"
#include "database/lists.h"
#include "runs/symbolsearch.h"
#include "support/toplevel.h"

#include <optional>

namespace {

struct Options {
    QStringList positional;
    bool us = false, add = false;
    std::optional<QString> symbol, kind, from, list;
    QString error;
};

Options parse(const QStringList& args, bool searchOptions)
{
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        std::optional<QString>* value = nullptr;
        if (a == QLatin1String("--add")) {
            o.add = true;
        } else if (searchOptions && a == QLatin1String("--us")) {
            o.us = true;
        } else if (a == QLatin1String("--from")) {
            value = &o.from;
        } else if (a == QLatin1String("--list")) {
            value = &o.list;
        } else if (searchOptions && a == QLatin1String("--kind")) {
            value = &o.kind;
        } else if (searchOptions && a == QLatin1String("--symbol")) {
            value = &o.symbol;
        } else if (a.startsWith(QLatin1String("--"))) {
            o.error = QStringLiteral("Unknown option: ") + a;
        } else {
            o.positional << a;
        }
        if (value) {
            if (i + 1 >= args.size())
                o.error = a + QStringLiteral(" needs a value");
            else
                *value = args[++i];
        }
    }
    return o;
}

// Shared tail of both commands: check the options, run, print, add.
int run(HeadlessContext& c, const Options& o, SymbolSearch& s, const QString& usage)
{
    int first = 1;
    if (o.from) {
        bool ok = false;
        first = o.from->toInt(&ok);
        if (!ok || first < 1) {
            c.err << "--from needs a number of 1 or more\n";
            return 2;
        }
    }
    int n = 0;
    if (o.list) {
        bool ok = false;
        n = o.list->toInt(&ok);
        if (!ok || !lists::validList(n) || !o.add) {
            c.err << (o.add ? "The list number must be 1 to 16\n" : "--list goes with --add\n");
            return 2;
        }
    }
    if (!o.error.isEmpty()) {
        c.err << o.error << '\n' << usage;
        return 2;
    }
    if (!headlessStartup(c, true))
        return 1;
    if (s.components.isEmpty())
        s.firstticker = first;
    else
        s.memberOffset = first - 1;
    runUntil(&s, &SymbolSearch::searched, [&s] { s.internetsearch(); });
    if (!s.answered) {
        c.err << "No answer from the quote service: " << s.problem << '\n';
        return 1;
    }
    if (s.hits.isEmpty()) {
        c.out << s.summary << '\n' << s.problem << '\n';
        return 0;
    }
    for (const SymbolSearch::Hit& h : s.hits)
        c.out << h.ticker << ',' << h.name << ',' << h.market << '\n';
    c.out << "results " << s.from << '-' << s.to;
    if (s.components.isEmpty())
        c.out << " of " << s.results;
    c.out << '\n';
    if (o.add) {
        if (n == 0) {
            c.out << s.addAll() << " Tickers added to Database\n";
        } else {
            QVector<int> rows;
            for (int i = 0; i < s.hits.size(); ++i)
                rows << i;
            c.out << s.lijsttoevoegen2(rows, n) << '\n';
        }
    }
    return 0;
}

}  // namespace

int cmdSearch(HeadlessContext& c)
{
    static const QString usage = QStringLiteral(
        "Usage: quotaris search TEXT [--us] [--kind stocks|funds|indices] [--from N] [--add [--list N]]\n"
        "       quotaris search --symbol TICKER [--add [--list N]]\n");
    const Options o = parse(c.args, true);
    SymbolSearch s;
    if (o.symbol) {
        if (!o.positional.isEmpty() || o.us || o.kind || o.from || o.symbol->isEmpty()) {
            c.err << usage;
            return 2;
        }
        s.text = *o.symbol;
        s.exact = true;
    } else {
        if (o.positional.size() != 1 || o.positional[0].isEmpty()) {
            c.err << usage;
            return 2;
        }
        s.text = o.positional[0];
        s.us = o.us;
    }
    if (o.kind) {
        const QStringList kinds = {QStringLiteral("stocks"), QStringLiteral("funds"), QStringLiteral("indices")};
        const int index = static_cast<int>(kinds.indexOf(*o.kind));
        if (index < 0) {
            c.err << "--kind is stocks, funds or indices\n";
            return 2;
        }
        s.kind = SymbolSearch::kindText(index);
    }
    return run(c, o, s, usage);
}

int cmdMembers(HeadlessContext& c)
{
    static const QString usage = QStringLiteral("Usage: quotaris members INDEX [--from N] [--add [--list N]]\n");
    const Options o = parse(c.args, false);
    if (o.positional.size() != 1 || o.positional[0].isEmpty()) {
        c.err << usage;
        return 2;
    }
    SymbolSearch s;
    s.components = o.positional[0];
    return run(c, o, s, usage);
}
