#include "app/commands_check.h"

#include "app/headless.h"
#include "mslink/error.h"
#include "mslink/reader.h"
#include "mslink/writer.h"
#include "quotes/integrity.h"
#include "support/runlock.h"
#include "support/state.h"
#include "writers/checkfiles.h"
#include "writers/codecs/codec.h"
#include "writers/formatregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

struct Tally {
    int files = 0, findings = 0, repaired = 0, unreadable = 0, rewritten = 0;
    int skipped = 0;      // files of a folder that are no quote file of the layout
    int notRepaired = 0;  // files with repairs that were not made: lines that cannot be read
};

struct Options {
    QString target;
    QChar format;  // null: the format the folder is set to, else the file's content
    bool repair = false;
};

// What a file is read as: a letter, or the letters it may be (to be told
// from its content), or nothing the settings say.
struct Layout {
    QString letters;      // candidates; empty: any layout
    bool chosen = false;  // by --format or the folder's setting
};

// The per-symbol formats whose folder in the settings is `folder`; of
// several, the ones that are on.
QString formatsOfFolder(const QString& folder)
{
    const QString wanted = QFileInfo(folder).canonicalFilePath();
    if (wanted.isEmpty())
        return {};
    QString on, all;
    for (const ExportFormat& f : formats::registry()) {
        if (!f.hasFolder() || !f.perSymbolFiles())
            continue;
        const QString set = f.chosen().folder;
        if (set.isEmpty() || QFileInfo(set).canonicalFilePath() != wanted)
            continue;
        all += f.letter;
        if (f.isOn())
            on += f.letter;
    }
    return on.isEmpty() ? all : on;
}

// Of `letters`, the formats whose writers name their files with the
// extension of `path`.
QString withExtensionOf(const QString& path, const QString& letters)
{
    QString out;
    for (QChar letter : letters) {
        const ExportFormat* f = formats::find(letter);
        if (f && *f->extension && path.endsWith(QLatin1String(f->extension), Qt::CaseInsensitive))
            out += letter;
    }
    return out;
}

// A name the writers give their files (.prn, .asc, .kbf).
bool quoteFileName(const QString& path)
{
    QString letters;
    for (const ExportFormat& f : formats::registry()) {
        if (f.perSymbolFiles())
            letters += f.letter;
    }
    return !withExtensionOf(path, letters).isEmpty();
}

// The old content a repair kept: NAME.bak, NAME.bak.1, ...
bool isBackup(const QString& name)
{
    static const QRegularExpression backup(QStringLiteral("\\.bak(\\.[0-9]+)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    return backup.match(name).hasMatch();
}

// The ticker a file stands for: a Stockguru line's first field, else the
// file name without its extension.
QString tickerOf(const QString& path, const checkfiles::StoredFile& file)
{
    return file.base.isEmpty() ? QFileInfo(path).completeBaseName() : file.base;
}

integrity::Context contextFor(const QString& ticker, bool repair)
{
    integrity::Context c;
    c.ticker = ticker;
    c.stock = integrity::isStock(ticker);
    c.action = repair ? integrity::Action::Repair : integrity::Action::Flag;
    return c;
}

void print(HeadlessContext& c, const QVector<integrity::Finding>& found, Tally& tally)
{
    for (const integrity::Finding& f : found) {
        c.out << f.line() << '\n';
        ++tally.findings;
        tally.repaired += f.repaired ? 1 : 0;
    }
}

// The letter `content` is read as, from `layout`; nothing (and `why`) when
// the content does not tell it beyond doubt. `fits` gets whether any
// layout fits the content at all.
std::optional<QChar> letterOf(const QByteArray& content, const Layout& layout, QString* why, bool* fits)
{
    *fits = true;
    if (layout.letters.size() == 1)
        return layout.letters.front();
    const std::optional<QChar> seen = checkfiles::formatOf(content, why, fits);
    if (seen && (layout.letters.isEmpty() || layout.letters.contains(*seen)))
        return seen;
    if (seen)
        *why = QStringLiteral("it reads as %1, its folder is set to %2").arg(*seen).arg(layout.letters);
    return std::nullopt;
}

// One per-symbol file: its lines that cannot be read and the check of its
// days; with --repair the repaired values are put in place of the old
// ones, the old file kept beside it. A file with lines that cannot be read
// is not repaired.
void checkFile(HeadlessContext& c, const QString& path, const Layout& layout, bool repair, bool inFolder, Tally& tally)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        c.err << "cannot read " << path << ": " << f.errorString() << '\n';
        ++tally.unreadable;
        return;
    }
    const QByteArray content = f.readAll();
    f.close();
    QString why;
    bool fits = true;
    const std::optional<QChar> letter = letterOf(content, layout, &why, &fits);
    if (!letter && inFolder && !layout.chosen && !fits && !quoteFileName(path)) {
        ++tally.skipped;
        return;
    }
    if (!letter) {
        c.err << "cannot tell the layout of " << path << " (" << why << "); nothing read, name it with --format\n";
        ++tally.unreadable;
        return;
    }
    const checkfiles::StoredFile file = *checkfiles::parse(content, *letter);
    ++tally.files;
    const QString unit =
        formats::find(*letter)->stored->binary() ? QStringLiteral(" record ") : QStringLiteral(" line ");
    for (const checkfiles::Unreadable& u : file.unreadable) {
        c.out << path << unit << u.number << ": unreadable: " << u.why << '\n';
        ++tally.findings;
    }
    // The check takes a history's days; they carry the same fields.
    const QString ticker = tickerOf(path, file);
    QVector<core::Bar> days;
    days.reserve(file.days.size());
    for (const Quote& q : file.days) {
        const auto figure = [](const QString& text) { return core::Figure(text, integrity::number(text)); };
        core::Bar& d = days.emplace_back();
        d.date = q.date;
        d.open = figure(q.open);
        d.high = figure(q.high);
        d.low = figure(q.low);
        d.close = figure(q.close);
        d.volume = figure(q.volume);
    }
    QVector<integrity::Finding> found = integrity::checkHistory(days, contextFor(ticker, repair));
    const bool changed =
        std::any_of(found.cbegin(), found.cend(), [](const integrity::Finding& x) { return x.repaired; });
    const bool whole = file.unreadable.isEmpty();
    if (changed && !whole) {
        for (integrity::Finding& x : found) {
            if (!x.repaired)
                continue;
            x.repaired = false;
            x.done = QStringLiteral("flagged (not repaired: the file has %1s that cannot be read)").arg(unit.trimmed());
        }
    }
    print(c, found, tally);
    if (!repair || !changed)
        return;
    if (!whole) {
        c.err << "not repaired: " << path << " has " << file.unreadable.size() << ' ' << unit.trimmed()
              << (file.unreadable.size() == 1 ? "" : "s") << " that cannot be read\n";
        ++tally.notRepaired;
        return;
    }
    QVector<Quote> repaired = file.days;
    for (qsizetype i = 0; i < days.size(); ++i) {
        Quote& q = repaired[i];
        q.open = days[i].open.text;
        q.high = days[i].high.text;
        q.low = days[i].low.text;
        q.close = days[i].close.text;
        q.volume = days[i].volume.text;
    }
    const QByteArray updated = checkfiles::patched(content, file, repaired);
    if (updated == content)
        return;
    QString backup, error;
    if (!checkfiles::rewrite(path, updated, &backup, &error)) {
        c.err << error << '\n';
        ++tally.unreadable;
        return;
    }
    c.err << "rewritten " << path << " (old content in " << QFileInfo(backup).fileName() << ")\n";
    ++tally.rewritten;
}

// Every security of a MetaStock folder. Repairs change the records of the
// days concerned; the security's data file is kept beside it first.
void checkMetastock(HeadlessContext& c, const QString& folder, bool repair, Tally& tally)
{
    struct Repair {
        QString ticker, dataFile;
        QVector<integrity::Bar> bars;
        std::vector<int> days;
        std::vector<qint32> times;
        std::vector<float> openInterests;
    };
    std::vector<Repair> repairs;
    try {
        mslink::Reader reader;
        reader.openFolder(folder);
        const int count = reader.securityCount();
        for (int s = 0; s < count; ++s) {
            reader.nextSecurity();
            reader.loadAllRecords();
            const mslink::RecordArrays& a = reader.arrays();
            QVector<integrity::Bar> bars;
            bars.reserve(static_cast<qsizetype>(a.size()));
            for (size_t i = 0; i < a.size(); ++i)
                bars.append({a.dates[i], a.opens[i], a.highs[i], a.lows[i], a.closes[i], a.volumes[i]});
            const QString ticker = reader.currentSecurityTicker();
            const QVector<integrity::Finding> found = integrity::check(bars, contextFor(ticker, repair));
            ++tally.files;
            print(c, found, tally);
            Repair r{ticker, QStringLiteral("F%1.DAT").arg(reader.currentFileNumber()), bars, {}, {}, {}};
            for (const integrity::Finding& f : found) {
                for (int k = f.first; f.repaired && k < f.first + f.count; ++k)
                    r.days.push_back(k);
            }
            if (!r.days.empty()) {
                r.times.assign(a.times.begin(), a.times.end());
                r.openInterests.assign(a.openInterests.begin(), a.openInterests.end());
                repairs.push_back(std::move(r));
            }
        }
    } catch (const mslink::Error& e) {
        c.err << "cannot read the MetaStock folder " << folder << ": " << e.text() << '\n';
        ++tally.unreadable;
        return;
    }
    if (!repair || repairs.empty())
        return;
    try {
        mslink::Writer writer;
        writer.openFolder(folder);
        for (const Repair& r : repairs) {
            const QString dataFile = QDir(folder).filePath(r.dataFile);
            const QString backup = checkfiles::backupName(dataFile);
            if (!QFile::copy(dataFile, backup)) {
                c.err << "cannot keep the old file as " << backup << '\n';
                ++tally.unreadable;
                continue;
            }
            writer.selectSecurity(r.ticker, r.dataFile);
            for (int k : r.days) {
                const integrity::Bar& b = r.bars[k];
                writer.changeRecord(b.date, b.date, r.times[static_cast<size_t>(k)], static_cast<float>(b.open),
                                    static_cast<float>(b.high), static_cast<float>(b.low), static_cast<float>(b.close),
                                    static_cast<float>(b.volume), r.openInterests[static_cast<size_t>(k)]);
            }
            writer.flush();
            writer.closeSecurity();
            ++tally.rewritten;
        }
        writer.release();
    } catch (const mslink::Error& e) {
        c.err << "cannot repair the MetaStock folder " << folder << ": " << e.text() << '\n';
        ++tally.unreadable;
    }
}

QString usage()
{
    return QStringLiteral("usage: check FOLDER|FILE [--format %1] [--repair]")
        .arg(formats::letters(formats::checkOrder(), QStringLiteral("|"), QStringLiteral("|")));
}

// The format of `letter` keeps a folder as one store (MetaStock).
bool keepsFolders(QChar letter)
{
    const ExportFormat* format = letter.isNull() ? nullptr : formats::find(letter);
    return format && format->stored && format->stored->keepsFolders();
}

// The format that keeps a folder as one store and finds one in `folder`.
bool folderStore(const QString& folder)
{
    for (const ExportFormat& f : formats::checkOrder()) {
        if (f.stored->keepsFolders() && f.stored->isOwnFolder(folder))
            return true;
    }
    return false;
}

bool parse(const QStringList& args, Options& o, QString& error)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--repair")) {
            o.repair = true;
        } else if (a == QLatin1String("--format") && i + 1 < args.size()) {
            const QString f = args[++i].toUpper();
            const ExportFormat* format = f.size() == 1 ? formats::find(f.at(0)) : nullptr;
            if (!format || !format->stored) {
                error = QStringLiteral("--format takes ") +
                        formats::letters(formats::checkOrder(), QStringLiteral(", "), QStringLiteral(" or "));
                return false;
            }
            o.format = f.at(0);
        } else if (!a.startsWith(QLatin1String("--")) && o.target.isEmpty()) {
            o.target = a;
        } else {
            error = usage();
            return false;
        }
    }
    if (o.target.isEmpty()) {
        error = usage();
        return false;
    }
    return true;
}

}  // namespace

int cmdCheck(HeadlessContext& c)
{
    Options o;
    QString error;
    if (!parse(c.args, o, error)) {
        c.err << error << '\n';
        return 2;
    }
    const QFileInfo target(o.target);
    if (!target.exists()) {
        c.err << "no such file or folder: " << o.target << '\n';
        return kExitCheckUnreadable;
    }
    if (!target.isDir() && keepsFolders(o.format)) {
        c.err << "a MetaStock database is a folder: " << o.target << '\n';
        return 2;
    }
    // The settings say which format each folder is for; without them the
    // files' content has to.
    if (!headlessStartup(c))
        c.err << "the export folders are not known: a file is read as its content shows\n";
    // A repair reads and rewrites files a download writes too: one of them
    // at a time. A plain check only reads.
    RunLock lock;
    QString refusal;
    if (o.repair && !lock.acquire(QStringLiteral("repair"), &refusal)) {
        c.err << refusal << '\n';
        return kExitFolderBusy;
    }
    Tally tally;
    const Layout forced{o.format.isNull() ? QString() : QString(o.format), !o.format.isNull()};
    if (target.isDir()) {
        const QString folder = target.absoluteFilePath();
        const QString set = formatsOfFolder(folder);
        if (keepsFolders(o.format) || (o.format.isNull() && set.isEmpty() && folderStore(folder))) {
            checkMetastock(c, folder, o.repair, tally);
        } else {
            const QString letters = o.format.isNull() ? set : QString(o.format);
            const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
            for (const QString& name : names) {
                if (isBackup(name))
                    continue;
                const QString path = QDir(folder).filePath(name);
                Layout layout;
                if (!letters.isEmpty()) {
                    // Only the files the format's writer names so.
                    layout = {withExtensionOf(path, letters), true};
                    if (layout.letters.isEmpty()) {
                        ++tally.skipped;
                        continue;
                    }
                }
                checkFile(c, path, layout, o.repair, true, tally);
            }
        }
    } else {
        const QString path = target.absoluteFilePath();
        Layout layout = forced;
        if (!layout.chosen) {
            const QString letters = withExtensionOf(path, formatsOfFolder(target.absolutePath()));
            layout = {letters, !letters.isEmpty()};
        }
        checkFile(c, path, layout, o.repair, false, tally);
    }
    c.err << "checked " << tally.files << (tally.files == 1 ? " file" : " files") << ", " << tally.findings
          << (tally.findings == 1 ? " finding" : " findings");
    if (o.repair) {
        c.err << ", " << tally.repaired << " repaired, " << tally.rewritten << " rewritten (old content in .bak)";
        if (tally.notRepaired)
            c.err << ", " << tally.notRepaired << " not repaired";
    }
    if (tally.skipped)
        c.err << ", " << tally.skipped << " other files left alone";
    if (tally.unreadable)
        c.err << ", " << tally.unreadable << " unreadable";
    c.err << '\n';
    if (tally.unreadable)
        return kExitCheckUnreadable;
    return tally.findings ? kExitCheckFindings : 0;
}
