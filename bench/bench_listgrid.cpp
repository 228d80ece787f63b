// Opens the list management window on a market of 20,000 symbols and a list
// of 10,000 and prints how long the grids took to show and to sort by
// another column; then how long copying and removing the whole list took.
// Run offscreen: QT_QPA_PLATFORM=offscreen ./build/bench/bench_listgrid
#include "benchutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/listedit.h"
#include "database/lists.h"
#include "support/state.h"
#include "windows/marketform.h"
#include "windows/symbolgrid.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kMarket = 20000;
constexpr int kList = 10000;

void fill()
{
    clsData data;
    Database& db = data.db();
    Transaction t(db);
    db.exec(QStringLiteral("INSERT INTO markt (Market) VALUES ('Big market')"));
    const int big = static_cast<int>(db.lastInsertRowId());
    db.exec(QStringLiteral("INSERT INTO markt (Market) VALUES ('Other')"));
    const int other = static_cast<int>(db.lastInsertRowId());
    Statement st = db.prepare(
        QStringLiteral("INSERT INTO fondsen (marktid, codeyahoo, naamyahoo, typeyahoo, list1) VALUES (?, ?, ?, ?, ?)"));
    // The list holds half of the big market and symbols of another market.
    for (int i = 0; i < kMarket + kList / 2; ++i) {
        const bool inBig = i < kMarket;
        st.reset();
        st.bindAll({inBig ? big : other, QStringLiteral("T%1").arg(i, 6, 10, QLatin1Char('0')),
                    QStringLiteral("Company %1 Holding").arg((i * 7919) % 100000),
                    i % 3 ? QStringLiteral("Stock") : QStringLiteral("Fund"), (!inBig || i % 4 == 0) ? 1 : 0});
        st.run();
    }
    t.commit();
}

// Wall time and the process's processor time since the last restart(): on a
// loaded machine the second says what the work itself cost.
struct Timer {
    QElapsedTimer wall;
    std::clock_t cpu = 0;
    void start() { restart(); }
    void restart()
    {
        wall.restart();
        cpu = std::clock();
    }
};

QByteArray ms(const Timer& t)
{
    const double cpu = 1000.0 * static_cast<double>(std::clock() - t.cpu) / CLOCKS_PER_SEC;
    return QByteArray::number(static_cast<double>(t.wall.nsecsElapsed()) / 1e6, 'f', 0) + " ms (processor " +
           QByteArray::number(cpu, 'f', 0) + " ms)";
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bench::DataFolder folder(bench::DataFolder::Home::Kept);
    if (!folder.opened())
        return 1;
    fill();
    settings().lijst = 1;

    Timer t;
    t.start();
    {
        clsData data;
        std::printf("connection opened: %s\n", ms(t).constData());
        t.restart();
        const int id = data.db().scalar(QStringLiteral("SELECT id FROM markt WHERE Market = 'Big market'")).toInt();
        const auto rows = lists::symbolsOfMarket(data.db(), id, listedit::marketOrder(listedit::Column::Name));
        std::printf("query of the market (%d rows, by name): %s\n", static_cast<int>(rows.size()), ms(t).constData());
    }
    t.restart();
    marketform form;
    form.resize(1200, 800);
    form.show();
    QApplication::processEvents();
    std::printf("open with a list of %d symbols: %s\n", form.gridlijst()->grid()->rowCount(), ms(t).constData());

    auto* markets = form.findChild<QComboBox*>(QStringLiteral("Combobox1"));
    t.restart();
    markets->setCurrentIndex(markets->findText(QStringLiteral("Big market")));
    QApplication::processEvents();
    std::printf("market of %d symbols shown: %s\n", form.gridfondsen()->grid()->rowCount(), ms(t).constData());

    t.restart();
    emit form.gridfondsen()->horizontalHeader()->sectionDoubleClicked(1);
    QApplication::processEvents();
    std::printf("market grid sorted by name: %s\n", ms(t).constData());

    t.restart();
    emit form.gridlijst()->horizontalHeader()->sectionDoubleClicked(2);
    QApplication::processEvents();
    std::printf("list grid sorted by name: %s\n", ms(t).constData());

    t.restart();
    form.gridlijst()->selectAll();
    form.kopieernaarlijst(2, false, true);
    QApplication::processEvents();
    std::printf("move %d symbols to list 2: %s\n", kList, ms(t).constData());

    t.restart();
    listedit::removeAll(2);
    std::printf("remove all from list 2: %s\n", ms(t).constData());
    return 0;
}
