#include "app/commands_adopt.h"

#include "app/commands_lists.h"
#include "app/headless.h"
#include "core/dates.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "runs/adoption.h"
#include "support/errors.h"
#include "support/runlock.h"
#include "writers/formatregistry.h"

#include <QDate>
#include <QFileInfo>

namespace {

QString usage() { return QStringLiteral("Usage: quotaris adopt LETTER FOLDER [--list N]"); }

// Every symbol of the database, by ticker.
QVector<lists::Symbol> everySymbol(Database& db)
{
    QVector<lists::Symbol> out;
    Statement st = db.prepare(QStringLiteral("SELECT codeyahoo, naamyahoo FROM fondsen ORDER BY codeyahoo"));
    while (st.next()) {
        lists::Symbol s;
        s.ticker = st.text(0);
        s.name = st.text(1);
        out.append(s);
    }
    return out;
}

}  // namespace

int cmdAdopt(HeadlessContext& c)
{
    QStringList positional;
    int list = 0;
    for (int i = 0; i < c.args.size(); ++i) {
        if (c.args[i] == QLatin1String("--list") && i + 1 < c.args.size()) {
            list = listNumber(c, c.args[++i]);
            if (list == 0)
                return 2;
        } else if (!c.args[i].startsWith(QLatin1String("--"))) {
            positional << c.args[i];
        } else {
            positional.clear();
            break;
        }
    }
    if (positional.size() != 2) {
        c.err << usage() << '\n';
        return 2;
    }
    const QString letter = positional[0];
    const ExportFormat* format = letter.size() == 1 ? formats::find(letter.front()) : nullptr;
    if (!format) {
        c.err << "Unknown format letter: " << letter << " (formats with files to adopt: "
              << formats::letters(formats::checkOrder(), QStringLiteral(", "), QStringLiteral(" or ")) << ")\n";
        return 2;
    }
    QString why;
    if (!adoption::adoptable(*format, &why)) {
        c.err << "Nothing to adopt: " << why << '\n';
        return 2;
    }
    const QFileInfo folder(positional[1]);
    if (!folder.isDir()) {
        c.err << "No such folder: " << positional[1] << '\n';
        return 1;
    }
    if (!headlessStartup(c))
        return 1;
    // No run writes to the store or the files while their days come in.
    RunLock lock;
    QString refusal;
    if (!lock.acquire(QStringLiteral("adopt"), &refusal)) {
        c.err << refusal << '\n';
        return kExitFolderBusy;
    }
    int symbols = 0, added = 0, same = 0, conflicts = 0, missing = 0;
    try {
        const auto db = Database::openDefault();
        const QVector<lists::Symbol> wanted =
            list ? lists::symbolsOfList(*db, list, {lists::SortKey::Ticker}) : everySymbol(*db);
        QuoteStore store;
        adoption::Adopter adopter(store, db.get(), *format, folder.absoluteFilePath());
        for (const lists::Symbol& s : wanted) {
            const adoption::Outcome o = adopter.adopt(s.ticker, s.name);
            if (o.where.isEmpty()) {
                // Without --list, a symbol without a file is simply not one of the folder's.
                if (list) {
                    c.err << "no file of " << s.ticker << " in " << folder.absoluteFilePath() << '\n';
                    ++missing;
                }
                continue;
            }
            ++symbols;
            added += o.added;
            same += o.same;
            conflicts += static_cast<int>(o.conflicts.size());
            c.out << "adopted " << s.ticker << " from " << o.where << ": " << o.read << " days, " << o.added
                  << " added, " << o.same << " stored already, " << o.conflicts.size() << " kept as stored";
            if (o.skipped)
                c.out << ", " << o.skipped << " unreadable left out";
            c.out << '\n';
            for (const adoption::Conflict& k : o.conflicts)
                c.out << "kept " << s.ticker << ' ' << core::isoDate(k.stored.date)
                      << " store: " << adoption::figures(k.stored) << "; file: " << adoption::figures(k.file) << '\n';
        }
    } catch (const AppError& e) {
        c.err << e.description() << '\n';
        return 1;
    }
    c.err << "adopted " << symbols << (symbols == 1 ? " symbol, " : " symbols, ") << added << " days added, " << same
          << " stored already, " << conflicts << " kept as stored (the store's values differ from the file's)";
    if (missing)
        c.err << ", " << missing << " without a file";
    c.err << '\n';
    if (symbols == 0) {
        c.err << "No file of "
              << (list ? QStringLiteral("a symbol of list %1").arg(list) : QStringLiteral("a symbol of the database"))
              << " in " << folder.absoluteFilePath() << '\n';
        return 1;
    }
    return 0;
}
