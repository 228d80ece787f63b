#include "testutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/startup.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "windows/frmexport.h"
#include "windows/frmimport.h"
#include "windows/frmnames.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {
QStringList texts(QListWidget* list)
{
    QStringList t;
    for (int i = 0; i < list->count(); ++i)
        t << list->item(i)->text();
    return t;
}

template <typename T>
T* child(QWidget& w, const char* name)
{
    T* c = w.findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}
}  // namespace

class ListWindowsTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        ASSERT_TRUE(runStartup().opened);
    }
};

TEST_F(ListWindowsTest, ImportReadsAPreviewAndPutsItOnTheChosenList)
{
    settings().listNames[5] = QStringLiteral("Fives");
    frmImport w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Import Symbols"));
    EXPECT_EQ(child<QLabel>(w, "Label1")->text(), QStringLiteral("Choose List to import to:"));
    auto* combo = child<QComboBox>(w, "Combo1");
    ASSERT_EQ(combo->count(), 16);
    EXPECT_EQ(combo->itemText(4), QStringLiteral("list 5 - Fives"));
    auto* import = child<QPushButton>(w, "Command1");
    auto* file = child<QPushButton>(w, "Command4");
    auto* preview = child<QListWidget>(w, "List1");
    EXPECT_EQ(import->text(), QStringLiteral("&Import"));
    EXPECT_FALSE(import->isEnabled());

    QString chosen;
    w.chooseFile = [&chosen] { return chosen; };
    file->click();  // no file chosen: nothing happens
    EXPECT_EQ(preview->count(), 0);

    chosen = path(QStringLiteral("symbols.txt"));
    writeFile(chosen, "AAA,BBB\r\nCCC\r\n\r\n\"ABCDEFGHIJKLMNOPQRSTUVWXYZ\"\r\n");
    file->click();
    EXPECT_EQ(texts(preview), QStringList({"AAA", "BBB", "CCC", "ABCDEFGHIJKLMNOPQRST"}));
    EXPECT_EQ(w.statusText(), QStringLiteral("4 Symbols in file"));
    EXPECT_TRUE(import->isEnabled());

    // A file that is too big leaves the preview as it was.
    const QString big = path(QStringLiteral("big.txt"));
    writeFile(big, QByteArray(63001, 'X'));
    chosen = big;
    file->click();
    EXPECT_EQ(msgs.texts(), QStringList({"File to big"}));
    EXPECT_EQ(preview->count(), 4);

    combo->setCurrentIndex(4);
    EXPECT_EQ(settings().lijst, 5);
    import->click();
    EXPECT_EQ(w.statusText(), QStringLiteral("4 Imported"));
    EXPECT_EQ(preview->currentRow(), 3);
    EXPECT_TRUE(combo->isEnabled() && file->isEnabled() && import->isEnabled());
    clsData data;
    EXPECT_EQ(lists::symbolCount(data.db(), 5), 4);
    EXPECT_EQ(msgs.shown.size(), 1);

    // What is no symbol is named and left out of the preview; a binary
    // file is refused and leaves the preview as it was.
    writeFile(chosen, "DDD,\"EEE,FFF\"\r\n");
    file->click();
    EXPECT_EQ(texts(preview), QStringList({"DDD"}));
    EXPECT_EQ(msgs.texts().last(),
              QStringLiteral("Not a symbol (a comma, quote or control character), left out:\nEEE,FFF"));
    writeFile(chosen, QByteArray("MZ\0\0\x90\0binary", 12));
    file->click();
    EXPECT_EQ(texts(preview), QStringList({"DDD"}));
    EXPECT_TRUE(msgs.texts().last().endsWith(QStringLiteral("is not a text file of symbols (it holds NUL bytes): "
                                                            "nothing imported")))
        << qPrintable(msgs.texts().last());
}

TEST_F(ListWindowsTest, ExportColumnsMoveBetweenTheListsAndTheListIsWritten)
{
    {
        clsData data;
        const int unknown = data.markt0();
        data.addtodatabase3(QStringLiteral("AAA"), QStringLiteral("AAA"), unknown, 2);
        data.addtodatabase3(QStringLiteral("BBB"), QStringLiteral("BBB"), unknown, 2);
    }
    frmExport w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Export List"));
    auto* available = child<QListWidget>(w, "List1");
    auto* chosen = child<QListWidget>(w, "List2");
    auto* ok = child<QPushButton>(w, "Command4");
    QPushButton* move[4];
    for (int i = 0; i < 4; ++i)
        move[i] = w.findChild<QPushButton*>(QStringLiteral("Command1_%1").arg(i));
    EXPECT_EQ(move[0]->text(), QStringLiteral(">"));
    EXPECT_EQ(move[3]->text(), QStringLiteral("<"));
    EXPECT_EQ(texts(available), QStringList({"Symbol", "Name", "Market"}));
    EXPECT_FALSE(ok->isEnabled());

    available->setCurrentRow(2);
    move[0]->click();
    EXPECT_EQ(texts(chosen), QStringList({"Market"}));
    EXPECT_TRUE(ok->isEnabled());
    move[1]->click();
    EXPECT_EQ(texts(chosen), QStringList({"Market", "Symbol", "Name"}));
    EXPECT_EQ(available->count(), 0);
    chosen->setCurrentRow(2);
    move[3]->click();
    EXPECT_EQ(texts(chosen), QStringList({"Market", "Symbol"}));
    move[2]->click();
    EXPECT_EQ(chosen->count(), 0);
    EXPECT_FALSE(ok->isEnabled());

    EXPECT_EQ(texts(available), QStringList({"Name", "Market", "Symbol"}));
    available->setCurrentRow(2);  // Symbol
    move[0]->click();
    available->setCurrentRow(1);  // Market, by double click
    emit available->itemDoubleClicked(available->item(1));
    const QString out = path(QStringLiteral("list2.txt"));
    w.chooseFile = [&out] { return out; };
    child<QComboBox>(w, "Combo1")->setCurrentIndex(1);
    ok->click();
    EXPECT_EQ(readAll(out), QByteArray("AAA,Unknown\r\nBBB,Unknown\r\n"));
    EXPECT_EQ(w.statusText(), QStringLiteral("2 Exported"));
    EXPECT_TRUE(ok->isEnabled());

    child<QComboBox>(w, "Combo1")->setCurrentIndex(6);
    ok->click();
    EXPECT_EQ(msgs.texts(), QStringList({"List 7 is empty"}));
}

TEST_F(ListWindowsTest, NamesAreShownAndStoredOnlyWithOk)
{
    settings().listNames[3] = QStringLiteral("Old");
    {
        frmNames w;
        EXPECT_EQ(w.windowTitle(), QStringLiteral("List names"));
        auto* box3 = child<QLineEdit>(w, "Text1_3");
        EXPECT_EQ(box3->text(), QStringLiteral("Old"));
        EXPECT_EQ(child<QLineEdit>(w, "Text1_1")->text(), QString());
        box3->setText(QStringLiteral("Changed"));
        child<QPushButton>(w, "Command2")->click();
        EXPECT_EQ(settings().listNames[3], QStringLiteral("Old"));
    }
    frmNames w;
    w.show();
    child<QLineEdit>(w, "Text1_3")->setText(QStringLiteral("Banks"));
    child<QLineEdit>(w, "Text1_16")->setText(QStringLiteral("Last"));
    child<QPushButton>(w, "Command1")->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(settings().listNames[3], QStringLiteral("Banks"));
    EXPECT_EQ(store::read(QStringLiteral("List16"), QString()), QStringLiteral("Last"));
    EXPECT_EQ(store::read(QStringLiteral("List1"), QStringLiteral("unset")), QString());
}

// Lower-case tickers are offered in upper case, as the quote service has
// them; No keeps them as they are in the file.
TEST_F(ListWindowsTest, ImportOffersUpperCaseTickers)
{
    const QString file = path(QStringLiteral("lower.txt"));
    writeFile(file, "nesn.sw\r\nAAPL\r\n");
    auto importWith = [&](Answer answer) {
        frmImport w;
        w.chooseFile = [&file] { return file; };
        child<QPushButton>(w, "Command4")->click();
        msgs.queue(answer);
        child<QPushButton>(w, "Command1")->click();
        return texts(child<QListWidget>(w, "List1"));
    };
    EXPECT_EQ(importWith(Answer::Yes), QStringList({"NESN.SW", "AAPL"}));
    ASSERT_FALSE(msgs.shown.isEmpty());
    EXPECT_EQ(msgs.shown.last().text,
              QStringLiteral("1 of the 2 symbols have lower-case letters; the quote service's symbols are upper "
                             "case.\r\nImport them in upper case?"));
    clsData data;
    const QVector<lists::Symbol> on = lists::symbolsOfList(data.db(), settings().lijst);
    QStringList tickers;
    for (const lists::Symbol& s : on)
        tickers << s.ticker;
    EXPECT_TRUE(tickers.contains(QStringLiteral("NESN.SW"))) << qPrintable(tickers.join(' '));
    EXPECT_FALSE(tickers.contains(QStringLiteral("nesn.sw")));
    EXPECT_EQ(importWith(Answer::No), QStringList({"nesn.sw", "AAPL"}));
}
