#include "app/commands_check.h"

#include "app/headless.h"
#include "mslink/error.h"
#include "mslink/reader.h"
#include "mslink/writer.h"
#include "quotes/historydecode.h"
#include "quotes/integrity.h"
#include "writers/checkfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

struct Tally {
    int files = 0, findings = 0, repaired = 0, unreadable = 0, rewritten = 0;
    int skipped = 0;  // files of a folder that are no quote file of the layout
};

struct Options {
    QString target;
    QChar format;  // null: taken from each file's content
    bool repair = false;
};

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

// One per-symbol file: its days through the check, and with --repair the
// file rewritten when a repair changed a day.
void checkFile(HeadlessContext& c, const QString& path, QChar format, bool repair, bool inFolder, Tally& tally)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        c.err << "cannot read " << path << '\n';
        ++tally.unreadable;
        return;
    }
    const QByteArray content = f.readAll();
    f.close();
    const std::optional<QChar> letter = format.isNull() ? checkfiles::formatOf(content) : std::optional<QChar>(format);
    std::optional<checkfiles::StoredFile> file = letter ? checkfiles::parse(content, *letter) : std::nullopt;
    if (!file && inFolder) {
        ++tally.skipped;
        return;
    }
    if (!file) {
        c.err << "not a quote file of " << (format.isNull() ? QStringLiteral("a known layout") : QString(format))
              << ": " << path << '\n';
        ++tally.unreadable;
        return;
    }
    ++tally.files;
    // The check takes a history's days; they carry the same fields.
    const QString ticker = tickerOf(path, *file);
    QVector<HistoryRecord> days;
    days.reserve(file->days.size());
    for (const Quote& q : file->days)
        days.append({ticker, q.date, q.open, q.high, q.low, q.close, q.volume});
    const QVector<integrity::Finding> found = integrity::checkHistory(days, contextFor(ticker, repair));
    print(c, found, tally);
    const bool changed =
        std::any_of(found.cbegin(), found.cend(), [](const integrity::Finding& x) { return x.repaired; });
    if (!repair || !changed)
        return;
    for (qsizetype i = 0; i < days.size(); ++i) {
        Quote& q = file->days[i];
        q.open = days[i].open;
        q.high = days[i].high;
        q.low = days[i].low;
        q.close = days[i].close;
        q.volume = days[i].volume;
    }
    QString error;
    if (!checkfiles::rewrite(path, *file, &error)) {
        c.err << error << '\n';
        ++tally.unreadable;
        return;
    }
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
            QFile::remove(dataFile + QStringLiteral(".bak"));
            if (!QFile::copy(dataFile, dataFile + QStringLiteral(".bak"))) {
                c.err << "cannot keep the old file as " << dataFile << ".bak\n";
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

bool parse(const QStringList& args, Options& o, QString& error)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--repair")) {
            o.repair = true;
        } else if (a == QLatin1String("--format") && i + 1 < args.size()) {
            const QString f = args[++i].toUpper();
            if (f.size() != 1 || !QStringLiteral("CSDKM").contains(f)) {
                error = QStringLiteral("--format takes C, S, D, K or M");
                return false;
            }
            o.format = f.at(0);
        } else if (!a.startsWith(QLatin1String("--")) && o.target.isEmpty()) {
            o.target = a;
        } else {
            error = QStringLiteral("usage: check FOLDER|FILE [--format C|S|D|K|M] [--repair]");
            return false;
        }
    }
    if (o.target.isEmpty()) {
        error = QStringLiteral("usage: check FOLDER|FILE [--format C|S|D|K|M] [--repair]");
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
    Tally tally;
    const QFileInfo target(o.target);
    if (!target.exists()) {
        c.err << "no such file or folder: " << o.target << '\n';
        return kExitCheckUnreadable;
    }
    if (target.isDir()) {
        const QString folder = target.absoluteFilePath();
        if (o.format == u'M' || (o.format.isNull() && mslink::Reader::databasePresent(folder))) {
            checkMetastock(c, folder, o.repair, tally);
        } else {
            const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Readable, QDir::Name);
            for (const QString& name : names) {
                if (name.endsWith(QLatin1String(".bak"), Qt::CaseInsensitive))
                    continue;
                checkFile(c, QDir(folder).filePath(name), o.format, o.repair, true, tally);
            }
        }
    } else if (o.format == u'M') {
        c.err << "a MetaStock database is a folder: " << o.target << '\n';
        return 2;
    } else {
        checkFile(c, target.absoluteFilePath(), o.format, o.repair, false, tally);
    }
    c.err << "checked " << tally.files << (tally.files == 1 ? " file" : " files") << ", " << tally.findings
          << (tally.findings == 1 ? " finding" : " findings");
    if (o.repair)
        c.err << ", " << tally.repaired << " repaired, " << tally.rewritten << " rewritten (old content in .bak)";
    if (tally.skipped)
        c.err << ", " << tally.skipped << " other files left alone";
    if (tally.unreadable)
        c.err << ", " << tally.unreadable << " unreadable";
    c.err << '\n';
    if (tally.unreadable)
        return kExitCheckUnreadable;
    return tally.findings ? kExitCheckFindings : 0;
}
