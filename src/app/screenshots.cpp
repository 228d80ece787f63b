#include "app/screenshots.h"

#include "app/hoofdform.h"
#include "app/splash.h"
#include "core/dates.h"
#include "database/clsdata.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "database/startup.h"
#include "quotes/integrity.h"
#include "runs/currentrun.h"
#include "support/help.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/toplevel.h"
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
#include <QTimer>
#include <QtMath>
#include <cstdio>
#include <functional>
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
    FormatSettings& ascii = settings().format(QLatin1Char('C'));
    ascii.on = true;
    ascii.folder = paths::withTrailingSlash(paths::dataFile(QStringLiteral("ascii")));
    QDir().mkpath(ascii.folder);
    fillChartFile(ascii.folder);
    // Six weeks of weekdays of the Amsterdam list in the store, INGA lacking
    // one session: the start page offers to fill it, and the report names
    // what the last run's gap fill did.
    QDate hole = QDate::currentDate().addDays(-8);
    while (hole.dayOfWeek() > Qt::Friday)
        hole = hole.addDays(-1);
    {
        QuoteStore store;
        store.begin();
        const int source = store.source(QStringLiteral("screenshots"), QDateTime::currentDateTimeUtc());
        const core::Figure ten = core::Figure::parse(u"10.00");
        for (QDate d = QDate::currentDate().addDays(-42); d < QDate::currentDate(); d = d.addDays(1)) {
            const core::Bar b{core::dateNumber(d), ten, ten, ten, ten, ten, {}, 0};
            for (const char* t : {"ASML.AS", "INGA.AS", "PHIA.AS", "^AEX"}) {
                if (d.dayOfWeek() < Qt::Saturday && !(d == hole && t[0] == 'I'))
                    store.put(QLatin1String(t), b, source);
            }
        }
        store.commit();
    }
    store::write(QLatin1String(CurrentRun::kGapReportKey),
                 QStringLiteral("PHIA.AS: filled %1\nmarket US: sessions unknown (2 symbols, not checked)")
                     .arg(hole.addDays(-7).toString(Qt::ISODate)));
    runrecord::note(false, QStringLiteral("Download finished: 5 of 5 written"));
    runrecord::note(true, QStringLiteral("Download finished: 3 of 3 symbols written, 42 quotes"));
}

// Shows one window after the other and grabs each from the event loop: a
// window is shown in one step, and the loop lays it out and paints it before
// the next step grabs it. Every step runs from the event loop after the one
// before; `done` follows the last.
class ShotSequence : public QObject {
    Q_OBJECT
public:
    explicit ShotSequence(QString folder) : folder_(std::move(folder)) {}

    void then(std::function<void()> step) { steps_.append(std::move(step)); }

    // Shows the window `make` gives at `size` (its own size hint when not
    // valid), then saves it as <name>.png and hides it; the sequence deletes
    // the window afterwards when it `owns` it.
    void shot(std::function<QWidget*()> make, const QString& name, QSize size = {}, bool owns = true)
    {
        then([this, make = std::move(make), size]() mutable {
            current_ = make();
            if (!size.isValid())
                size = current_->sizeHint().expandedTo(current_->minimumSizeHint()).expandedTo(QSize(360, 200));
            current_->resize(size);
            current_->show();
        });
        then([this, name, owns] {
            const QString file = QDir(folder_).filePath(name + QStringLiteral(".png"));
            const bool saved = current_->grab().save(file);
            current_->hide();
            if (owns)
                delete current_;
            current_ = nullptr;
            std::fprintf(saved ? stdout : stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
            ok_ &= saved;
        });
    }

    void start() { QTimer::singleShot(0, this, &ShotSequence::next); }
    bool ok() const { return ok_; }

signals:
    void done();

private:
    void next()
    {
        if (steps_.isEmpty()) {
            emit done();
            return;
        }
        const std::function<void()> step = steps_.takeFirst();
        step();
        QTimer::singleShot(0, this, &ShotSequence::next);
    }

    QString folder_;
    QList<std::function<void()>> steps_;
    QWidget* current_ = nullptr;
    bool ok_ = true;
};

}  // namespace

int takeScreenshots(const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "Cannot create %s\n", qPrintable(folder));
        return 1;
    }
    fillDataFolder();
    ShotSequence shots(folder);
    std::unique_ptr<Hoofdform> main;
    shots.then([&main] {
        main = std::make_unique<Hoofdform>();
        main->updateFormatChecks();
        main->updateStartPage();
    });
    shots.shot([&main] { return main.get(); }, QStringLiteral("main"), QSize(1000, 700), false);
    shots.then([&main] {
        main->show();
        main->showCurrentDownload();
        main->openListManagement(false);
    });
    shots.shot([&main] { return main.get(); }, QStringLiteral("main-windows"), QSize(1000, 700), false);
    shots.then([&main] {
        main->mdiArea()->closeAllSubWindows();
        main.reset();
    });
    auto one = [&shots](std::function<QWidget*()> make, const char* name, QSize size = {}) {
        shots.shot(std::move(make), QLatin1String(name), size);
    };
    one([] { return new Autodownload; }, "autodownload");
    one([] { return new history; }, "history");
    one([] { return new location(QLatin1Char('M')); }, "location");
    one([] { return new marketform(false); }, "marketform", QSize(900, 560));
    one([] { return new browser; }, "browser", QSize(820, 520));
    one([] { return new frmOptions; }, "frmoptions");
    one([] { return new reportform; }, "reportform");
    one([] { return new historyreportform; }, "historyreportform");
    one([] { return new ChartWindow(QStringLiteral("ASML.AS")); }, "chart", QSize(900, 560));
    one([] { return new frmNames; }, "frmnames");
    one([] { return new frmImport; }, "frmimport");
    one([] { return new frmExport; }, "frmexport");
    one([] { return new compact; }, "compact");
    one([] { return new frmSplash; }, "splash");
    one(
        [] {
            auto* viewer = new HelpViewer;
            viewer->browser()->setSource(help::pageUrl(QString()));
            return viewer;
        },
        "help", QSize(760, 560));
    runUntil(&shots, &ShotSequence::done, [&shots] { shots.start(); });
    return shots.ok() ? 0 : 1;
}

#include "screenshots.moc"
