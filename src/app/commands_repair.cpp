#include "app/commands_repair.h"

#include "app/headless.h"
#include "database/db.h"
#include "database/quotestore.h"
#include "runs/adoption.h"
#include "runs/repairundo.h"
#include "support/errors.h"
#include "support/runlock.h"

#include <QDate>
#include <QFileInfo>

namespace {

QString usage() { return QStringLiteral("Usage: quotaris repair --undo TICKER YYYY-MM-DD"); }

}  // namespace

int cmdRepair(HeadlessContext& c)
{
    if (c.args.size() != 3 || c.args[0] != QLatin1String("--undo")) {
        c.err << usage() << '\n';
        return 2;
    }
    const QString ticker = c.args[1];
    const QDate day = QDate::fromString(c.args[2], Qt::ISODate);
    if (!day.isValid()) {
        c.err << "Not a date (YYYY-MM-DD): " << c.args[2] << '\n';
        return 2;
    }
    const qint32 date = day.year() * 10000 + day.month() * 100 + day.day();
    if (!headlessStartup(c))
        return 1;
    if (!QFileInfo::exists(QuoteStore::defaultPath())) {
        c.err << "Unknown ticker: " << ticker << " (there is no quote store yet)\n";
        return 1;
    }
    // The files and the store change together: no run may write meanwhile.
    RunLock lock;
    QString refusal;
    if (!lock.acquire(QStringLiteral("repair"), &refusal)) {
        c.err << refusal << '\n';
        return kExitFolderBusy;
    }
    repairundo::Result r;
    try {
        const auto db = Database::openDefault();
        QuoteStore store;
        r = repairundo::undo(store, *db, ticker, date);
    } catch (const AppError& e) {
        c.err << e.description() << '\n';
        return 1;
    }
    using Status = repairundo::Result::Status;
    const QString when = day.toString(Qt::ISODate);
    switch (r.status) {
    case Status::UnknownTicker:
        c.err << "Unknown ticker: " << ticker << " (the quote store holds no day of it)\n";
        return 1;
    case Status::NoSuchDay:
        c.err << "No such day: the quote store holds no bar of " << ticker << " on " << when << '\n';
        return 1;
    case Status::NotRepaired:
        c.err << ticker << ' ' << when << " was not repaired by the integrity check: nothing to undo\n";
        return 1;
    case Status::Undone:
    case Status::FileFailed:
        break;
    }
    using State = repairundo::FileOutcome::State;
    for (const repairundo::FileOutcome& f : std::as_const(r.files)) {
        switch (f.state) {
        case State::Rewritten:
            c.out << "rewritten " << f.letter << ' ' << f.where << " (old content in " << QFileInfo(f.note).fileName()
                  << ")\n";
            break;
        case State::AsSent:
            c.out << "as sent already " << f.letter << ' ' << f.where << '\n';
            break;
        case State::OtherValues:
            c.out << "left alone " << f.letter << ' ' << f.where << " (its day holds other values)\n";
            break;
        case State::Failed:
            c.err << "not rewritten " << f.letter << ' ' << f.where << ": " << f.note << '\n';
            break;
        }
    }
    if (!r.runWide.isEmpty())
        c.out << "not rewritten: " << r.runWide.join(QStringLiteral(", "))
              << " (a file per run: the run's files keep the repaired values)\n";
    if (r.status == Status::FileFailed) {
        c.err << "The store still holds the repaired day; undo again once the files can be written.\n";
        return 1;
    }
    c.out << "undone " << ticker << ' ' << when << ": " << adoption::figures(r.repaired) << " -> "
          << adoption::figures(r.sent) << '\n';
    return 0;
}
