#include "testutil.h"

#include <QFile>

class HeadlessListsTest : public QuotarisTest {};

TEST_F(HeadlessListsTest, ImportListsNameAndExportRoundTrip)
{
    const QString in = path(QStringLiteral("in.txt"));
    writeFile(in, "IBM,O'X\r\n\"ASML.AS\"\n\n");
    ProgramRun r = runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("4"), in});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("3 Symbols in file\n3 Imported\n3 new symbols added to the database\n"
                                    "list 4 now holds 3 symbols\n"));

    // A second import of the same file only puts them on another list.
    r = runQuotaris({QStringLiteral("import"), in, QStringLiteral("--list"), QStringLiteral("9")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out.contains(QStringLiteral("0 new symbols added to the database")));

    r = runQuotaris({QStringLiteral("list-name"), QStringLiteral("4"), QStringLiteral("Mixed bag")});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("list 4 - Mixed bag\n"));

    r = runQuotaris({QStringLiteral("lists")});
    EXPECT_EQ(r.status, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 16);
    EXPECT_EQ(lines[0], QStringLiteral("1\t\t0"));
    EXPECT_EQ(lines[3], QStringLiteral("4\tMixed bag\t3"));
    EXPECT_EQ(lines[8], QStringLiteral("9\t\t3"));

    const QString out = path(QStringLiteral("out.txt"));
    r = runQuotaris({QStringLiteral("export"), QStringLiteral("--list"), QStringLiteral("4"),
                     QStringLiteral("--columns"), QStringLiteral("Market,Symbol"), out});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, QStringLiteral("3 Exported to ") + out + QLatin1Char('\n'));
    QStringList written = QString::fromLatin1(readAll(out)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    written.sort();
    EXPECT_EQ(written, QStringList({"Unknown,ASML.AS", "Unknown,IBM", "Unknown,O'X"}));
}

TEST_F(HeadlessListsTest, BadInputIsRefusedWithAReason)
{
    const QString big = path(QStringLiteral("big.txt"));
    writeFile(big, QByteArray(63001, 'A'));
    ProgramRun r = runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("1"), big});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.trimmed(), QStringLiteral("File to big"));

    r = runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("17"), big});
    EXPECT_EQ(r.status, 2);
    r = runQuotaris({QStringLiteral("export"), QStringLiteral("--list"), QStringLiteral("1"),
                     QStringLiteral("--columns"), QStringLiteral("Symbol,Price"), path(QStringLiteral("x.txt"))});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Price")));

    r = runQuotaris({QStringLiteral("export"), QStringLiteral("--list"), QStringLiteral("2"),
                     QStringLiteral("--columns"), QStringLiteral("Symbol"), path(QStringLiteral("x.txt"))});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("List 2 is empty")));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("x.txt"))));

    // An unwritable target: a clear message, no file.
    const QString in = path(QStringLiteral("in.txt"));
    writeFile(in, "IBM\n");
    runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("2"), in});
    r = runQuotaris({QStringLiteral("export"), QStringLiteral("--list"), QStringLiteral("2"),
                     QStringLiteral("--columns"), QStringLiteral("Symbol"), in + QStringLiteral("/x.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Cannot create the export file"))) << qPrintable(r.err);
    EXPECT_EQ(readAll(in), QByteArray("IBM\n"));
}

// Files that are no list of symbols, and a data folder that fills up: what
// could not be stored is counted and the command fails; nothing that is no
// symbol gets into the database.
TEST_F(HeadlessListsTest, ImportRefusesWhatIsNoSymbolAndCountsWhatWasNotStored)
{
    const QString binary = path(QStringLiteral("program.bin"));
    QByteArray bytes;
    for (int i = 0; i < 5000; ++i)
        bytes.append(static_cast<char>((i * 7919 + 13) % 256));
    writeFile(binary, bytes);
    ProgramRun r = runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("2"), binary});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              binary + QStringLiteral(" is not a text file of symbols (it holds NUL bytes): nothing imported\n"));

    const QString mixed = path(QStringLiteral("mixed.txt"));
    QByteArray utf16("\xFF\xFE");
    for (QChar ch : QStringLiteral("IBM,\"IBM,MSFT\"\r\n"))
        utf16.append(static_cast<char>(ch.unicode())).append('\0');
    writeFile(mixed, utf16);
    r = runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("2"), mixed});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("list 2 now holds 1 symbols"))) << qPrintable(r.out);
    EXPECT_TRUE(r.err.contains(QStringLiteral("left out: IBM,MSFT"))) << qPrintable(r.err);
    r = runQuotaris({QStringLiteral("export"), QStringLiteral("--list"), QStringLiteral("2"),
                     QStringLiteral("--columns"), QStringLiteral("Symbol"), path(QStringLiteral("out.txt"))});
    EXPECT_EQ(readAll(path(QStringLiteral("out.txt"))), "IBM\r\n");

    SmallDisk disk(path(QStringLiteral("small")), 160);
    if (!disk.mounted())
        GTEST_SKIP() << "no right to mount a file system of the test's own";
    QStringList many;
    for (int i = 0; i < 9000; ++i)
        many << QStringLiteral("S%1").arg(i);
    const QString list = path(QStringLiteral("many.txt"));
    writeFile(list, many.join(QLatin1Char(',')).toLatin1());
    const QByteArray saved = qgetenv("QUOTARIS_HOME");
    qputenv("QUOTARIS_HOME", QFile::encodeName(path(QStringLiteral("small"))));
    r = runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("3"), list});
    const ProgramRun count = runQuotaris({QStringLiteral("lists")});
    qputenv("QUOTARIS_HOME", saved);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("Import failed: "))) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(QStringLiteral("full"))) << qPrintable(r.err);
    EXPECT_FALSE(r.out.contains(QStringLiteral("9000 Imported"))) << qPrintable(r.out);
    // What it says it stored is what the list holds.
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    const int stored = lines[1].section(QLatin1Char(' '), 0, 0).toInt();
    EXPECT_LT(stored, 9000);
    EXPECT_TRUE(r.out.contains(QStringLiteral("list 3 now holds %1 symbols").arg(stored))) << qPrintable(r.out);
    EXPECT_TRUE(count.out.contains(QStringLiteral("3\t\t%1\n").arg(stored))) << qPrintable(count.out);
}

// Lower-case tickers are pointed out, and imported in upper case when asked.
TEST_F(HeadlessListsTest, ImportOffersUpperCaseTickers)
{
    const QString in = path(QStringLiteral("lower.txt"));
    writeFile(in, "nesn.sw\r\nAAPL\r\n");
    ProgramRun r = runQuotaris({QStringLiteral("import"), QStringLiteral("--list"), QStringLiteral("2"), in});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_TRUE(r.out.contains(QStringLiteral("1 of the 2 symbols have lower-case letters; the quote service's "
                                              "symbols are upper case (--upper-case imports them so)")));
    r = runQuotaris(
        {QStringLiteral("import"), QStringLiteral("--upper-case"), QStringLiteral("--list"), QStringLiteral("3"), in});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_FALSE(r.out.contains(QStringLiteral("lower-case")));
    const QString out = path(QStringLiteral("out3.txt"));
    r = runQuotaris({QStringLiteral("export"), QStringLiteral("--list"), QStringLiteral("3"),
                     QStringLiteral("--columns"), QStringLiteral("Symbol"), out});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    QStringList written = QString::fromLatin1(readAll(out)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    written.sort();
    EXPECT_EQ(written, QStringList({"AAPL", "NESN.SW"}));
}
