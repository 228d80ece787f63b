// The status of a list of 5,000 symbols with the four per-symbol text
// formats on (Stockguru, GET, ASCII, KBF: 20,000 files of 100 days each),
// read as "quotaris status" reads it and as the list window fills its
// columns; then the chart window opening a file of 10,000 days.
// Run offscreen: QT_QPA_PLATFORM=offscreen ./build/bench/bench_status
// The files were just written, so they are in the page cache: the figures
// are those of a second look, not of a cold disk.
#include "benchutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "runs/symbolstatus.h"
#include "support/state.h"
#include "windows/chartwindow.h"
#include "windows/marketform.h"
#include "windows/symbolgrid.h"
#include "writers/storedfiles.h"
#include "writers/symbolwriter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {

constexpr int kSymbols = 5000;
constexpr int kDays = 100;

QString ticker(int i) { return QStringLiteral("T%1.AS").arg(i, 5, 10, QLatin1Char('0')); }

void fillDatabase()
{
    clsData data;
    Database& db = data.db();
    Transaction t(db);
    db.exec(QStringLiteral("INSERT INTO markt (Market) VALUES ('Big market')"));
    const int market = static_cast<int>(db.lastInsertRowId());
    Statement st = db.prepare(QStringLiteral(
        "INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) VALUES (?, ?, ?, 'Stock', 1)"));
    for (int i = 0; i < kSymbols; ++i) {
        st.reset();
        st.bindAll({market, ticker(i), QStringLiteral("Company %1").arg(i)});
        st.run();
    }
    t.commit();
}

// Each symbol's history through the writers, so the files are as a run
// leaves them; every tenth symbol stops a week early, every hundredth has
// no files.
void fillFiles()
{
    for (int i = 0; i < kSymbols; ++i) {
        if (i % 100 == 99)
            continue;
        QVector<Quote> days;
        QDate d(2024, 1, 1);
        while (days.size() < kDays - (i % 10 == 9 ? 5 : 0)) {
            if (d.dayOfWeek() <= 5)
                days.append({ticker(i),
                             {},
                             d.year() * 10000 + d.month() * 100 + d.day(),
                             QStringLiteral("10.5"),
                             QStringLiteral("11.25"),
                             QStringLiteral("9.75"),
                             QStringLiteral("10.75"),
                             QStringLiteral("120000")});
            d = d.addDays(1);
        }
        for (QChar letter : {QLatin1Char('S'), QLatin1Char('D'), QLatin1Char('C'), QLatin1Char('K')}) {
            const std::unique_ptr<SymbolFileWriter> writer = makeSymbolWriter(letter);
            writer->writeBlock(symbolFile(letter, ticker(i), QString()), days);
        }
    }
}

double ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bench::DataFolder folder(bench::DataFolder::Home::Kept);
    if (!folder.opened())
        return 1;
    ProgramSettings& s = settings();
    s.format('S').folder = folder.root() + QStringLiteral("sg/");
    s.format('D').folder = folder.root() + QStringLiteral("get/");
    s.format('C').folder = folder.root() + QStringLiteral("ascii/");
    s.format('K').folder = folder.root() + QStringLiteral("kbf/");
    for (const QString& f : {s.format('S').folder, s.format('D').folder, s.format('C').folder, s.format('K').folder})
        QDir().mkpath(f);
    s.format('S').on = s.format('D').on = s.format('C').on = s.format('K').on = true;
    s.lijst = 1;
    fillDatabase();
    fillFiles();

    QElapsedTimer t;
    t.start();
    int behind = 0, missing = 0;
    {
        const auto db = Database::openDefault();
        const QVector<lists::Symbol> symbols = lists::symbolsOfList(*db, 1);
        for (const symbolstatus::SymbolStatus& st : symbolstatus::statusOf(*db, symbols)) {
            behind += st.worst() == symbolstatus::FileState::Behind;
            missing += st.worst() == symbolstatus::FileState::Missing;
        }
    }
    std::printf("status of %d symbols in 4 formats (connection, list, 20000 files): %.0f ms; %d behind, %d missing\n",
                kSymbols, ms(t), behind, missing);

    t.restart();
    {
        marketform form;
        form.resize(1200, 800);
        form.show();
        while (form.readingStatus())
            QApplication::processEvents();
        std::printf("list window open with its status columns filled: %.0f ms\n", ms(t));
    }

    // A file of 10,000 days: 40 years of weekdays.
    QByteArray big;
    int n = 0;
    for (QDate d(1984, 1, 2); n < 10000; d = d.addDays(1)) {
        if (d.dayOfWeek() > 5)
            continue;
        big += d.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ",10.5,11.25,9.75,10.75,120000\r\n";
        ++n;
    }
    QFile file(s.format('C').folder + QStringLiteral("BIG.asc"));
    if (!file.open(QIODevice::WriteOnly) || file.write(big) != big.size())
        return 1;
    file.close();
    t.restart();
    const storedfiles::Series series = storedfiles::readDays(file.fileName(), QLatin1Char('C'));
    std::printf("read %d days of one file: %.1f ms\n", static_cast<int>(series.days.size()), ms(t));
    // The chart opens on the first format that is on: ASCII alone here.
    s.format('S').on = s.format('D').on = s.format('K').on = false;
    t.restart();
    {
        ChartWindow chart(QStringLiteral("BIG"));
        chart.resize(900, 560);
        chart.show();
        QApplication::processEvents();
        std::printf("chart window with %d days open and drawn: %.0f ms\n",
                    static_cast<int>(chart.frame().days().size()), ms(t));
        t.restart();
        chart.zoom(0.8);
        chart.pan(-100);
        QApplication::processEvents();
        std::printf("one zoom and one pan, drawn: %.0f ms\n", ms(t));
        t.restart();
        chart.showRange(ChartFrame::Range::OneYear);
        QApplication::processEvents();
        std::printf("range of one year (a bar a day), drawn: %.0f ms\n", ms(t));
    }
    return 0;
}
