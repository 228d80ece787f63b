#include "app/commands_metastock.h"

#include "app/headless.h"
#include "mslink/error.h"
#include "mslink/reader.h"
#include "writers/metastockmap.h"
#include "writers/metastockrun.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// The shortest decimal that reads back as the stored single.
QString price(float value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return QString::fromLatin1(buffer, static_cast<qsizetype>(result.ptr - buffer));
}

QString folderArgument(const QString& arg)
{
    return QDir::cleanPath(QFileInfo(arg).absoluteFilePath()) + QLatin1Char('/');
}

// Opens `folder` for reading; prints why not and returns false.
bool open(HeadlessContext& c, mslink::Reader& r, const QString& folder)
{
    if (!mslink::Reader::databasePresent(folder)) {
        c.err << folder << " holds no Metastock database\n";
        return false;
    }
    try {
        r.openFolder(folder);
        return true;
    } catch (const mslink::Error& e) {
        c.err << folder << " cannot be read: " << e.text() << '\n';
        return false;
    }
}

int scan(HeadlessContext& c)
{
    if (!headlessStartup(c))
        return 1;
    const QString root = metastock::root();
    if (!QFileInfo(root).isDir()) {
        c.err << "The Metastock folder " << root << " does not exist\n";
        return 1;
    }
    metastockmap::ScanResult result;
    StepOutcome outcome = StepOutcome::Ignored;
    {
        // The scan's own folder session and map connection, closed before
        // the answer is printed.
        MetastockRunState run;
        outcome = guarded([&] { result = metastockmap::rebuild(run, root); });
    }
    if (outcome != StepOutcome::Done)
        return 1;
    for (const auto& [folder, count] : result.folders)
        c.out << folder << ' ' << count << '\n';
    c.out << result.securities << " securities in " << result.folders.size() << " folders\n";
    for (const QString& folder : result.damaged)
        c.err << "damaged, left alone: " << folder << '\n';
    for (const QString& file : result.unnamed)
        c.err << "named by no master file, left alone: " << file << '\n';
    return result.damaged.isEmpty() ? 0 : 1;
}

int list(HeadlessContext& c, const QString& folder)
{
    mslink::Reader r;
    if (!open(c, r, folder))
        return 1;
    struct Line {
        int number;
        QString text;
    };
    QVector<Line> lines;
    try {
        for (r.nextSecurity(); r.recordsLeft() >= 1; r.nextSecurity()) {
            lines.append({r.currentFileNumber(), QStringLiteral("F%1,%2,%3,%4,%5,%6")
                                                     .arg(r.currentFileNumber())
                                                     .arg(r.currentSecurityTicker(), r.currentSecurityName())
                                                     .arg(r.currentFirstDate())
                                                     .arg(r.currentLastDate())
                                                     .arg(r.currentRecordCount())});
        }
    } catch (const mslink::Error& e) {
        c.err << e.text() << '\n';
        return 1;
    }
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.number < b.number; });
    for (const Line& l : lines)
        c.out << l.text << '\n';
    return 0;
}

int show(HeadlessContext& c, const QString& folder, const QString& ticker)
{
    mslink::Reader r;
    if (!open(c, r, folder))
        return 1;
    if (!r.findSecurity(ticker)) {
        c.err << ticker << " is not in " << folder << '\n';
        return 1;
    }
    try {
        r.loadAllRecords();
    } catch (const mslink::Error& e) {
        c.err << e.text() << '\n';
        return 1;
    }
    const mslink::RecordArrays& a = r.arrays();
    for (size_t i = 0; i < a.size(); ++i) {
        c.out << a.dates[i] << ',' << price(a.opens[i]) << ',' << price(a.highs[i]) << ',' << price(a.lows[i]) << ','
              << price(a.closes[i]) << ',' << QString::number(std::llround(a.volumes[i])) << '\n';
    }
    return 0;
}

}  // namespace

int cmdMetastock(HeadlessContext& c)
{
    const QStringList& a = c.args;
    if (a.size() == 1 && a[0] == QLatin1String("scan"))
        return scan(c);
    if (a.size() == 2 && a[0] == QLatin1String("list"))
        return list(c, folderArgument(a[1]));
    if (a.size() == 3 && a[0] == QLatin1String("show"))
        return show(c, folderArgument(a[1]), a[2]);
    c.err << "usage: metastock scan | metastock list FOLDER | metastock show FOLDER TICKER\n";
    return 2;
}
