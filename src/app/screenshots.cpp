#include "app/screenshots.h"

#include "app/hoofdform.h"
#include "app/splash.h"
#include "database/clsdata.h"
#include "database/lists.h"
#include "database/startup.h"
#include "quotes/integrity.h"
#include "support/help.h"
#include "support/paths.h"
#include "support/state.h"
#include "windows/autodownload.h"
#include "windows/browser.h"
#include "windows/chartwindow.h"
#include "windows/compact.h"
#include "windows/frmexport.h"
#include "windows/frmimport.h"
#include "windows/frmnames.h"
#include "windows/frmoptions.h"
#include "windows/helpviewer.h"
#include "windows/history.h"
#include "windows/historyreportform.h"
#include "windows/location.h"
#include "windows/marketform.h"
#include "windows/reportform.h"
#include "windows/runrecord.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QTextBrowser>
#include <QtMath>
#include <cstdio>
#include <memory>

namespace {

// A year and a half of one symbol's days in its ASCII file, with a pause of
// two weeks and a day the integrity check flagged.
void fillChartFile(const QString& folder)
{
    QFile file(folder + QStringLiteral("ASML_AS.asc"));
    if (!file.open(QIODevice::WriteOnly))
        return;
    const QDate end = QDate::currentDate().addDays(-1);
    double close = 600;
    int n = 0;
    QDate flagged;
    for (QDate d = end.addDays(-540); d <= end; d = d.addDays(1), ++n) {
        if (d.dayOfWeek() > 5 || (n > 300 && n < 315))
            continue;
        const double open = close;
        close = std::max(50.0, open + 9 * qSin(n * 0.07) + 6 * qSin(n * 1.3) - 1.5 * qCos(n * 0.4));
        const double high = std::max(open, close) + 4 + 3 * qAbs(qSin(n * 2.1));
        const double low = std::min(open, close) - 4 - 3 * qAbs(qCos(n * 1.7));
        if (n >= 420 && !flagged.isValid()) {
            flagged = d;
            close = high;
        }
        file.write(QStringLiteral("%1,%2,%3,%4,%5,%6\r\n")
                       .arg(d.toString(QStringLiteral("yyyyMMdd")))
                       .arg(open, 0, 'f', 2)
                       .arg(high, 0, 'f', 2)
                       .arg(low, 0, 'f', 2)
                       .arg(close, 0, 'f', 2)
                       .arg(400000 + 250000 * qAbs(qSin(n * 0.9)), 0, 'f', 0)
                       .toLatin1());
    }
    // The integrity check's table, as its run leaves it.
    clsData data;
    data.voegfindingstoe({{QStringLiteral("ASML.AS"), flagged.toString(QStringLiteral("yyyyMMdd")).toInt(),
                           integrity::code(integrity::Kind::Bounds), QString(), QStringLiteral("flagged")}});
}

// A small data folder that shows what each window is for.
void fillDataFolder()
{
    runStartup();
    {
        clsData d;
        const char* symbols[][3] = {
            {"ASML.AS", "ASML Holding", "Amsterdam"},        {"INGA.AS", "ING Groep", "Amsterdam"},
            {"PHIA.AS", "Koninklijke Philips", "Amsterdam"}, {"^AEX", "AEX index", "Indices"},
            {"MSFT", "Microsoft Corporation", "NasdaqGS"},   {"IBM", "IBM", "NYSE"}};
        for (const auto& s : symbols) {
            d.tickercode = QLatin1String(s[0]);
            d.fondsnaam = QLatin1String(s[1]);
            d.MarktNaam = QLatin1String(s[2]);
            d.fondstype = QStringLiteral("Stock");
            d.go();
            d.addtodatabase2(d.tickercode, d.fondsnaam, d.marketid, d.fondstype);
        }
        d.tickersmislukt({QStringLiteral("IBM")});
        d.voegvervallentoe(QStringLiteral("OLD.AS"));
        d.historyticker = QStringLiteral("ASML.AS");
        d.historynaam = QStringLiteral("ASML Holding");
        d.historystartdate = QDate::currentDate().addDays(-30);
        d.historyenddate = QDate::currentDate().addDays(-1);
        d.historygelukt = true;
        d.writehistory();
    }
    Lijstinvoeg onList;
    for (const char* t : {"ASML.AS", "INGA.AS", "PHIA.AS", "^AEX"})
        onList.downloaden(QLatin1String(t), true, lists::column(1));
    for (const char* t : {"MSFT", "IBM"})
        onList.downloaden(QLatin1String(t), true, lists::column(2));
    lists::setName(1, QStringLiteral("Amsterdam"));
    lists::setName(2, QStringLiteral("United States"));
    ProgramSettings& s = settings();
    s.select1 = true;
    s.h1 = paths::withTrailingSlash(paths::dataFile(QStringLiteral("ascii")));
    QDir().mkpath(s.h1);
    fillChartFile(s.h1);
    runrecord::note(false, QStringLiteral("Download finished: 5 of 5 written"));
    runrecord::note(true, QStringLiteral("Download finished: 3 of 3 symbols written, 42 quotes"));
}

bool save(QWidget* window, const QString& folder, const QString& name, QSize size = {})
{
    if (!size.isValid())
        size = window->sizeHint().expandedTo(window->minimumSizeHint()).expandedTo(QSize(360, 200));
    window->resize(size);
    window->show();
    QApplication::processEvents();
    const QString file = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool ok = window->grab().save(file);
    window->hide();
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}

}  // namespace

int takeScreenshots(const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "Cannot create %s\n", qPrintable(folder));
        return 1;
    }
    fillDataFolder();
    bool ok = true;
    {
        Hoofdform main;
        main.updateFormatChecks();
        main.updateStartPage();
        ok &= save(&main, folder, QStringLiteral("main"), QSize(1000, 700));
        main.show();
        main.showCurrentDownload();
        main.openListManagement(false);
        ok &= save(&main, folder, QStringLiteral("main-windows"), QSize(1000, 700));
        main.mdiArea()->closeAllSubWindows();
    }
    auto one = [&](QWidget* w, const char* name, QSize size = {}) {
        std::unique_ptr<QWidget> owned(w);
        ok &= save(w, folder, QLatin1String(name), size);
    };
    one(new Autodownload, "autodownload");
    one(new history, "history");
    one(new location(QLatin1Char('M')), "location");
    one(new marketform(false), "marketform", QSize(900, 560));
    auto* search = new browser;
    one(search, "browser", QSize(820, 520));
    one(new frmOptions, "frmoptions");
    one(new reportform, "reportform");
    one(new historyreportform, "historyreportform");
    one(new ChartWindow(QStringLiteral("ASML.AS")), "chart", QSize(900, 560));
    one(new frmNames, "frmnames");
    one(new frmImport, "frmimport");
    one(new frmExport, "frmexport");
    one(new compact, "compact");
    one(new frmSplash, "splash");
    auto* viewer = new HelpViewer;
    viewer->browser()->setSource(help::pageUrl(QString()));
    one(viewer, "help", QSize(760, 560));
    return ok ? 0 : 1;
}
