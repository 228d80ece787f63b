#include "app/commands_status.h"

#include "app/commands_lists.h"
#include "app/headless.h"
#include "database/db.h"
#include "database/lists.h"
#include "runs/symbolstatus.h"
#include "support/errors.h"
#include "writers/formatregistry.h"

using symbolstatus::FileState;

int cmdStatus(HeadlessContext& c)
{
    int list = 0;
    bool stale = false;
    for (int i = 0; i < c.args.size(); ++i) {
        const QString& arg = c.args[i];
        if (arg == QLatin1String("--stale")) {
            stale = true;
        } else if (arg == QLatin1String("--list") && i + 1 < c.args.size()) {
            list = listNumber(c, c.args[++i]);
            if (list == 0)
                return 2;
        } else {
            c.err << "Usage: quotaris status [--list N] [--stale]\n";
            return 2;
        }
    }
    if (!headlessStartup(c))
        return 1;
    QVector<symbolstatus::SymbolStatus> status;
    try {
        const auto db = Database::openDefault();
        QVector<int> all;
        for (int n = 1; n <= lists::kCount; ++n)
            all << n;
        const QVector<lists::Symbol> symbols =
            list ? lists::symbolsOfList(*db, list) : lists::symbolsForDownload(*db, all);
        status = symbolstatus::statusOf(*db, symbols);
    } catch (const AppError& e) {
        c.err << e.description() << '\n';
        return 1;
    }
    if (symbolstatus::formatsShown().isEmpty())
        c.err << "No export format with files per symbol is on ("
              << formats::letters(formats::storedOrder(), QStringLiteral(", "), QStringLiteral(" or ")) << ")\n";
    for (const symbolstatus::SymbolStatus& s : std::as_const(status)) {
        for (const symbolstatus::FormatDate& f : s.formats) {
            if (stale && f.state == FileState::Ok)
                continue;
            c.out << s.ticker << ',' << f.letter << ',' << f.last.toString(Qt::ISODate) << ','
                  << symbolstatus::stateText(f.state) << '\n';
        }
    }
    return 0;
}
