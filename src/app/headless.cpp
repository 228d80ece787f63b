#include "app/headless.h"

#include "app/commands_adopt.h"
#include "app/commands_check.h"
#include "app/commands_download.h"
#include "app/commands_fill.h"
#include "app/commands_formats.h"
#include "app/commands_gaps.h"
#include "app/commands_lists.h"
#include "app/commands_maintenance.h"
#include "app/commands_metastock.h"
#include "app/commands_options.h"
#include "app/commands_quotes.h"
#include "app/commands_repair.h"
#include "app/commands_report.h"
#include "app/commands_schedule.h"
#include "app/commands_search.h"
#include "app/commands_serve.h"
#include "app/commands_status.h"
#include "app/commands_store.h"
#include "app/commands_symbols.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "gateway/livehosts.h"
#include "runs/runsummary.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/formatregistry.h"

namespace {

int cmdInfo(HeadlessContext& c)
{
    if (!c.args.isEmpty()) {
        c.err << "info takes no arguments\n";
        return 2;
    }
    const bool opened = headlessStartup(c);
    c.out << "data folder: " << paths::dataFolder() << '\n';
    c.out << "database: " << paths::databaseFile() << '\n';
    c.out << "settings file: " << paths::settingsFile() << '\n';
    c.out << "database opened: " << (opened ? "yes" : "no") << '\n';
    for (const auto& [name, value] : settingsrow::describe())
        c.out << name << ": " << value << '\n';
    return opened ? 0 : 1;
}

}  // namespace

const QVector<HeadlessCommand>& headlessCommands()
{
    // The letters the format registry gives, kept for the commands' lifetime.
    static const QByteArray statusSummary =
        QStringLiteral("print TICKER,FORMAT,LASTDATE,STATE for every symbol of list N (default: of every list) in "
                       "each format that is on and keeps a file per symbol (%1); LASTDATE is the last stored day "
                       "(YYYY-MM-DD, empty when missing), STATE is ok, behind (more than three trading days older "
                       "than the newest last day of the list in that format) or missing (no file, or no day in it); "
                       "--stale prints only behind and missing; --symbol prints the bars the quote store holds for "
                       "TICKER beside each such format's file: the days the file holds with other values and the "
                       "days it lacks")
            .arg(formats::letters(formats::storedOrder(), QStringLiteral(", "), QStringLiteral(", ")))
            .toLatin1();
    static const QByteArray checkUsage =
        QStringLiteral("FOLDER|FILE [--format %1] [--repair]")
            .arg(formats::letters(formats::checkOrder(), QStringLiteral("|"), QStringLiteral("|")))
            .toLatin1();
    static const QByteArray adoptUsage =
        QStringLiteral("%1 FOLDER [--list N]")
            .arg(formats::letters(formats::checkOrder(), QStringLiteral("|"), QStringLiteral("|")))
            .toLatin1();
    static const QVector<HeadlessCommand> commands = {
        {"info", "", "run the start-up routine and print the folders and every setting", cmdInfo},
        {"download", "current [--list N | --lists N,M,...]",
         "download the current quotes of the symbols of a list (default: as the download window is set) "
         "and write them to every export format that is on",
         cmdDownload},
        {"download", "history [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--all-data] [--list N | --lists N,M,...]",
         "download the daily history of the symbols of a list for a range of days (default: yesterday to today)",
         cmdDownload},
        {"download", "history --retry", "download again what the last historical download missed", cmdDownload},
        {"options", "", "print the download options", cmdOptions},
        {"option", "NAME VALUE",
         "set one download option (teller2, teller3, teller4, teller5, Isdelay, "
         "IntervalDownload, split, dcurrent, reject, server, "
         "IntegrityAction flag|repair|skip)",
         cmdOption},
        {"download-lists", "N,M,...", "choose the lists of a several-lists download", cmdDownloadLists},
        {"import", "--list N [--upper-case] FILE",
         "put the symbols of a text file on list N (new ones under market Unknown; --upper-case: tickers in upper "
         "case, as the quote service has them)",
         cmdImport},
        {"export", "--list N --columns Symbol,Name,Market FILE", "write the symbols of list N to a text file",
         cmdExport},
        {"lists", "", "print the sixteen lists: number, name, symbol count", cmdLists},
        {"list-name", "N TEXT", "set the name of list N", cmdListName},
        {"formats", "", "print every export format with its state, folder and options", cmdFormats},
        {"format",
         "LETTER on|off [--folder DIR] [--long-names on|off] [--extension PRN|TXT|ASC|CSV] [--open-interest on|off] "
         "[--max-symbols 255|2000|6000|999999]",
         "switch an export format on or off and set its folder and options, as the Export format window does",
         cmdFormat},
        {"quote", "TICKER...", "fetch the current quotes of the tickers and print them", cmdQuote},
        {"investigate", "TICKER", "tell whether the quote service changed the ticker, and its first date of history",
         cmdInvestigate},
        {"metastock", "scan | list FOLDER | show FOLDER TICKER",
         "rebuild the map of the MetaStock folders and print each folder's count; list a folder's securities; "
         "print a security's records",
         cmdMetastock},
        {"report", "current",
         "print the failed, not-found, changed and rejected symbols of the last current download "
         "and what the integrity check found",
         cmdReport},
        {"schedule",
         "[set N --start HH:MM [--end HH:MM] [--interval HH:MM] | off N | options [--use-interval on|off] "
         "[--weekdays on|off] [--disconnect on|off] [--disconnect-command COMMAND] | "
         "plan --from \"YYYY-MM-DD HH:MM\" --until \"YYYY-MM-DD HH:MM\" | run]",
         "print or change the download schedule, list the downloads it would start, or run the scheduler "
         "in the foreground until SIGINT or SIGTERM",
         cmdSchedule},
        {"report", "history",
         "print the ranges the last historical download got, did not get and timed out on, "
         "and what the integrity check found",
         cmdReport},
        {"status", "[--list N] [--stale] | --symbol TICKER", statusSummary.constData(), cmdStatus},
        {"store", "[check]",
         "print what the quote store holds (symbols, bars, first and last day, size on disk), or run SQLite's "
         "integrity check over it",
         cmdStore},
        {"bars", "TICKER [--from YYYY-MM-DD] [--to YYYY-MM-DD]",
         "print the bars the quote store holds for a symbol: DATE,OPEN,HIGH,LOW,CLOSE,VOLUME,OPENINT,STATE "
         "(final or provisional, repaired),SENT (a repaired day's values as sent),SOURCE (host and time of the "
         "download)",
         cmdBars},
        {"fill", "LETTER [--list N | --lists N,M,...] [--from YYYY-MM-DD] [--to YYYY-MM-DD]",
         "write the files of one export format for the symbols of the lists (default: of every list) from the days "
         "the quote store holds, without the network, as a historical download of the same range writes them; the "
         "other formats stay as they are; SIGINT or SIGTERM stops it",
         cmdFill},
        {"gaps", "[--list N] [--fill] [--days N | --all]",
         "list the sessions the quote store lacks and the provisional days of the symbols of a list (default: of "
         "every list) in their markets' last N sessions (default 30; a market with too few symbols and no index is "
         "named once, not checked); --fill asks the provider for them, one history request per symbol, and writes "
         "what comes to the store and every format that is on; SIGINT or SIGTERM stops it",
         cmdGaps},
        {"adopt", adoptUsage.constData(),
         "take the days the files of a per-symbol format in FOLDER (or a MetaStock folder and the folders below "
         "it) hold into the quote store, for the symbols of list N (default: every symbol of the database with a "
         "file there); the files are only read; a day the store holds with other values keeps the store's and is "
         "printed as kept TICKER DATE store: O H L C V; file: O H L C V; refused while a download holds the data "
         "folder",
         cmdAdopt},
        {"repair", "--undo TICKER YYYY-MM-DD",
         "put back the values as sent of a day the integrity check repaired: in the quote store and in every "
         "per-symbol file and MetaStock security that holds the day with the repaired values (old content kept "
         "as .bak); run-wide files keep the repaired values",
         cmdRepair},
        {"markets", "", "print every market with its number of symbols", cmdMarkets},
        {"symbols", "--market NAME | --list N [--sort symbol|name|type|market]",
         "print the symbols of a market or a list: ticker, name, type, market", cmdSymbols},
        {"list",
         "add N TICKER... | add-market N MARKET | remove N TICKER...|--all | copy N M TICKER...|--all | "
         "move N M TICKER...|--all",
         "put symbols on list N, take them off, or copy or move them to list M", cmdList},
        {"remove-symbol", "TICKER...", "remove symbols from the database and from every list", cmdRemoveSymbol},
        {"search", "TEXT [--us] [--kind stocks|funds|indices] [--from N] | --symbol TICKER  [--add [--list N]]",
         "search the quote service by name or exact symbol; --add adds the hits to the database (and list N)",
         cmdSearch},
        {"members", "INDEX [--from N] [--add [--list N]]",
         "print 50 members of an index from member N; --add adds them to the database (and list N)", cmdMembers},
        {"check", checkUsage.constData(),
         "run the integrity check over the days stored in per-symbol files (ASCII, Stockguru, Advanced GET, KBF) "
         "or a MetaStock folder and print the findings, each unreadable line one of them; a file is read as the "
         "format its folder is set to (or --format), else as its content shows beyond doubt; --repair changes "
         "only the repaired values, keeping the old file as FILE.bak (FILE.bak.1, ... when taken), and is refused "
         "while a download holds the data folder",
         cmdCheck},
        {"compact", "", "compact and repair the symbol database", cmdCompact},
        {"help", "[PAGE]", "print the path of a help page (default index.htm) and open it on a desktop", cmdHelp},
        {"check-update", "", "ask the update server whether a newer version of Quotaris exists", cmdCheckUpdate},
        {"help-update", "", "fetch newer help files from the help server into the data folder", cmdHelpUpdate},
        {"serve", "[--port P]",
         "run the built-in gateway to the live quote source in the foreground (default: a free port)", cmdServe},
    };
    return commands;
}

QString headlessUsage(const QString& moreCommands)
{
    QString text =
        QStringLiteral("Usage: quotaris [--home DIR] [COMMAND [ARGUMENTS]]\n"
                       "Without a command the main window opens.\n\n"
                       "Options:\n"
                       "  --home DIR   use DIR as data folder (default $QUOTARIS_HOME or ~/.local/share/Quotaris)\n"
                       "  --help       show this text\n"
                       "  --version    show the version\n\n"
                       "Commands:\n");
    for (const HeadlessCommand& c : headlessCommands()) {
        const QString head = QStringLiteral("%1 %2").arg(QLatin1String(c.name), QLatin1String(c.usage)).trimmed();
        text += QStringLiteral("  %1\n      %2\n").arg(head, QLatin1String(c.summary));
    }
    text += moreCommands;
    text += QStringLiteral(
                "\nExit status:\n"
                "  0   the command did what was asked; a download got and wrote everything asked\n"
                "  %1   it failed; a download got or wrote nothing; a scheduler stopped itself after an abort\n"
                "  2   wrong arguments\n"
                "  %2   no update or help server is set (check-update, help-update)\n"
                "  %3   another run holds the data folder, nothing was started (download, fill, gaps --fill, check "
                "--repair)\n"
                "  %4   a download got and wrote some of what was asked, not all: a request or range failed, a symbol\n"
                "      was not found or got no answer, a quote could not be written, or the run was stopped;\n"
                "      quote: a quote came without all its values, or a ticker without an answer\n"
                "      fill: a symbol had nothing stored, a quote could not be written, or the fill was stopped\n"
                "check: 0 no finding, %5 findings, %6 a file or folder unreadable, of no certain layout, or not "
                "rewritten\n")
                .arg(kExitFailed)
                .arg(kExitNoServer)
                .arg(kExitFolderBusy)
                .arg(kExitPartial)
                .arg(kExitCheckFindings)
                .arg(kExitCheckUnreadable);
    return text;
}

bool headlessStartup(HeadlessContext& context, bool quoteService)
{
    QString error;
    if (!paths::ensureDataFolder(&error)) {
        context.err << error << '\n';
        return false;
    }
    const bool opened = runStartup().opened;
    if (quoteService && context.liveHosts && !context.liveHosts->resolve(&error))
        context.err << "The built-in quote gateway cannot start: " << error << '\n';
    return opened;
}

int downloadExitStatus(const RunSummary& summary, int missing)
{
    if (summary.busy)
        return kExitFolderBusy;
    if (summary.nothingToDo || summary.quotesReceived == 0 || summary.totalWritten() == 0)
        return kExitFailed;
    return summary.complete() && missing == 0 ? 0 : kExitPartial;
}

void printWritten(QTextStream& out, const QMap<QChar, int>& written, int failures)
{
    for (const ExportFormat& f : formats::all()) {
        if (f.isOn())
            out << "written " << f.letter << " (" << f.name() << "): " << written.value(f.letter) << '\n';
    }
    if (failures)
        out << "not written: " << failures << '\n';
}

int runHeadless(const QString& command, const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    ScriptedMessages console;
    console.echo = true;
    setMessages(&console);
    int status = 2;
    bool known = false;
    for (const HeadlessCommand& c : headlessCommands()) {
        if (command == QLatin1String(c.name)) {
            LiveHosts liveHosts;
            HeadlessContext context{args, out, err, &liveHosts};
            status = c.run(context);
            known = true;
            break;
        }
    }
    if (!known)
        err << "Unknown command: " << command << "\n\n" << headlessUsage();
    out.flush();
    err.flush();
    setMessages(nullptr);
    return status;
}
