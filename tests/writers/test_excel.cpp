#include "writertest.h"
#include "xlsreaders.h"

#include "support/yield.h"
#include "writers/cfbfile.h"
#include "writers/ewriter.h"
#include "writers/xlsbook.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtEndian>

namespace {
QVariant text(const char* t) { return QVariant(QString::fromUtf8(t)); }

QVariant num(double v) { return QVariant(v); }

// Both readers must agree with what the test expects.
QVector<ReadSheet> readBoth(const QString& file, const QVector<int>& wanted = {})
{
    QString error;
    const QVector<ReadSheet> freexl = readWithFreeXl(file, &error, wanted);
    EXPECT_TRUE(error.isEmpty()) << "FreeXL: " << qPrintable(error);
    const QVector<ReadSheet> xlrd = readWithXlrd(file, &error, wanted);
    EXPECT_TRUE(error.isEmpty()) << "xlrd: " << qPrintable(error);
    EXPECT_EQ(freexl.size(), xlrd.size());
    for (qsizetype s = 0; s < std::min(freexl.size(), xlrd.size()); ++s) {
        EXPECT_EQ(freexl[s].name, xlrd[s].name);
        EXPECT_EQ(freexl[s].rows, xlrd[s].rows);
        EXPECT_EQ(freexl[s].cells, xlrd[s].cells) << "sheet " << s;
    }
    return freexl;
}

void waitIdle(const ewriter& w)
{
    ASSERT_TRUE(waitUntil([&w] { return !w.Busy(); }, 30000));
}
}  // namespace

class ExcelTest : public WriterTest {
protected:
    void SetUp() override
    {
        WriterTest::SetUp();
        settings().format('E').folder = folder;
    }

    Workbooks books;
};

TEST_F(ExcelTest, RowsReadBackWithTheirTypesInBothReaders)
{
    const QString file = books.create(false, QDate(2004, 3, 15));
    ASSERT_EQ(file, folder + "quotes20040315-1.xls");
    ewriter w;
    w.filename(file, books);
    // An empty ticker makes no row; a decimal comma is read as a point; a
    // price that is no number stays text; names outside Latin-1 survive.
    w.ytickers({"XYZ.AS", "", "ABC", "Q\"UOTE"});
    w.yname({"Xyz", "skipped", "Ωmega € Corp", "It's \"quoted\""});
    w.ydate({"20040315", "20040315", "20040315", "20040316"});
    w.yopen({"12,5", "1", "10", "N/A"});
    w.yhigh({"13", "1", "11.25", "2"});
    w.ylow({"12", "1", "9", "1"});
    w.yclose({"12.75", "1", "10.5", "1.5"});
    w.yvolume({"1000", "1", "0", "123456789"});
    w.go();
    EXPECT_TRUE(w.Busy());
    waitIdle(w);
    EXPECT_FALSE(w.failed());
    EXPECT_EQ(w.rowsSaved(), 3);

    const QVector<ReadSheet> sheets = readBoth(file);
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0].name, "Blad1");
    ASSERT_EQ(sheets[0].rows, 3);
    EXPECT_EQ(sheets[0].cells[0], (QVector<QVariant>{text("XYZ.AS"), text("Xyz"), text("20040315"), num(12.5), num(13),
                                                     num(12), num(12.75), text("1000")}));
    EXPECT_EQ(sheets[0].cells[1], (QVector<QVariant>{text("ABC"), text("Ωmega € Corp"), text("20040315"), num(10),
                                                     num(11.25), num(9), num(10.5), text("0")}));
    EXPECT_EQ(sheets[0].cells[2], (QVector<QVariant>{text("Q\"UOTE"), text("It's \"quoted\""), text("20040316"),
                                                     text("N/A"), num(2), num(1), num(1.5), text("123456789")}));
}

// Rows from bars: a current quote's prices are its numbers and its volume
// the plain text of its number, whatever digits were sent; a history day's
// price that is no number stays the text it came as, its volume as sent.
TEST_F(ExcelTest, RowsFromBarsTakeTheNumbersOfACurrentQuoteAndTheTextsOfAHistory)
{
    const QString file = books.create(false, QDate(2004, 3, 15));
    const auto bar = [](qint32 date, const char* o, const char* h, const char* l, const char* c, const char* v) {
        core::Bar b;
        b.date = date;
        b.open = core::Figure::parse(QString::fromLatin1(o));
        b.high = core::Figure::parse(QString::fromLatin1(h));
        b.low = core::Figure::parse(QString::fromLatin1(l));
        b.close = core::Figure::parse(QString::fromLatin1(c));
        b.volume = core::Figure::parse(QString::fromLatin1(v));
        return b;
    };
    QVector<CurrentQuote> quotes(2);
    quotes[0] = {QStringLiteral("XYZ.AS"), QStringLiteral("Xyz"), QStringLiteral("4:00pm"),
                 bar(20040315, "12.50", "13", "12", "12.75", "1000.0")};
    quotes[1] = {QStringLiteral("NEG"), QStringLiteral("Neg"), QString(), bar(20040315, "-0.00", "1", "0.5", "1", "7")};
    ewriter current;
    current.filename(file, books);
    current.rows(quotes);
    current.go();
    waitIdle(current);

    QVector<core::Bar> days{bar(20040316, "1.10", "1.20", "1.00", "1.15", "500")};
    days.append(days.front());
    days[1].date = 20040317;
    days[1].low.text = QStringLiteral("n.a.");  // a text the provider sent that is no number
    days[1].volume.text = QStringLiteral("0600");
    ewriter history;
    history.filename(file, books);
    history.rows(QStringLiteral("HIS"), QStringLiteral("History Name"), days);
    history.go();
    waitIdle(history);
    ASSERT_TRUE(history.flush());

    const QVector<ReadSheet> sheets = readBoth(file);
    ASSERT_EQ(sheets.size(), 1);
    ASSERT_EQ(sheets[0].rows, 4);
    EXPECT_EQ(sheets[0].cells[0], (QVector<QVariant>{text("XYZ.AS"), text("Xyz"), text("20040315"), num(12.5), num(13),
                                                     num(12), num(12.75), text("1000")}));
    EXPECT_EQ(sheets[0].cells[1], (QVector<QVariant>{text("NEG"), text("Neg"), text("20040315"), num(0), num(1),
                                                     num(0.5), num(1), text("7")}));
    EXPECT_EQ(sheets[0].cells[2], (QVector<QVariant>{text("HIS"), text("History Name"), text("20040316"), num(1.1),
                                                     num(1.2), num(1), num(1.15), text("500")}));
    EXPECT_EQ(sheets[0].cells[3], (QVector<QVariant>{text("HIS"), text("History Name"), text("20040317"), num(1.1),
                                                     num(1.2), text("n.a."), num(1.15), text("0600")}));
}

TEST_F(ExcelTest, WorkbookNamesTakeTheFirstFreeNumber)
{
    const QDate day(2004, 3, 15);
    EXPECT_EQ(books.create(false, day), folder + "quotes20040315-1.xls");
    EXPECT_EQ(books.create(false, day), folder + "quotes20040315-2.xls");
    // An empty file does not hold a name; it is removed and the name reused.
    writeFile(folder + "history-1.xls", QByteArray());
    EXPECT_EQ(books.create(true, day), folder + "history-1.xls");
    EXPECT_EQ(books.create(true, day), folder + "history-2.xls");
    // A fresh workbook is an empty sheet "Blad1", readable at once.
    const QVector<ReadSheet> sheets = readBoth(folder + "history-2.xls");
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0].name, "Blad1");
    EXPECT_EQ(sheets[0].rows, 0);
}

TEST_F(ExcelTest, RawModeWritersOfOneFileAddInTheOrderOfGo)
{
    const QString file = books.create(true);
    {
        ewriter first, second;
        first.filename(file, books);
        second.filename(file, books);
        first.raw("AAA,20040315,1,2,0.5,1.5,100\r\nshort\r\n,20040316,1,1,1,1,1\r\nAAA,20040316,1,2,0.5,1.75,200\r\n");
        first.HName("Alpha");
        second.raw("BBB,20040315,3,4,2,3.5\r\n");
        second.HName("Beta");
        first.go();
        second.go();
        waitIdle(first);
        waitIdle(second);
        // Both writers of a file report the same workbook.
        EXPECT_EQ(second.rowsSaved(), 3);

        const QVector<ReadSheet> sheets = readBoth(file);
        ASSERT_EQ(sheets.size(), 1);
        ASSERT_EQ(sheets[0].rows, 3);
        EXPECT_EQ(sheets[0].cells[0][1], text("Alpha"));
        EXPECT_EQ(sheets[0].cells[1][6], num(1.75));
        EXPECT_EQ(sheets[0].cells[2], (QVector<QVariant>{text("BBB"), text("Beta"), text("20040315"), num(3), num(4),
                                                         num(2), num(3.5), QVariant()}));

        // Handing over arrays leaves raw mode: column B is the quote's name.
        first.ytickers({"CCC"});
        first.yname({"Gamma"});
        first.go();
        waitIdle(first);
        EXPECT_EQ(readBoth(file, {-1})[0].cells[0][1], text("Gamma"));
    }

    // A writer made after the others are gone continues the run's workbook.
    ewriter later;
    later.filename(file, books);
    later.ytickers({"DDD"});
    later.go();
    waitIdle(later);
    const QVector<ReadSheet> after = readBoth(file, {-1});
    ASSERT_EQ(after.size(), 1);
    EXPECT_EQ(after[0].rows, 5);
    EXPECT_EQ(after[0].cells[0][0], text("DDD"));
}

// The workbook a run made stays with the run after its writers are gone;
// a writer of another owner starts the file afresh.
TEST_F(ExcelTest, AWorkbookIsSharedByTheWritersOfItsOwnerOnly)
{
    const QString file = books.create(false);
    ASSERT_FALSE(file.isEmpty());
    {
        ewriter w;
        w.filename(file, books);
        w.raw(QStringLiteral("IBM,20240102,1,2,0.5,1.5,100\r\n"));
        w.go();
        waitIdle(w);
    }
    ewriter later;
    later.filename(file, books);
    EXPECT_EQ(later.rowsSaved(), 1);

    Workbooks other;
    ewriter fresh;
    fresh.filename(file, other);
    EXPECT_EQ(fresh.rowsSaved(), 0);
}

TEST_F(ExcelTest, RowsPastTheSheetLimitContinueOnTheNextSheet)
{
    const QString file = books.create(false);
    const int rows = XlsBook::kRowsPerSheet + 5;
    QStringList tickers, names, numbers;
    for (int i = 0; i < rows; ++i) {
        tickers << QStringLiteral("T%1").arg(i);
        names << QStringLiteral("Name of symbol number %1 with a long tail to fill the string table").arg(i);
        numbers << QString::number(i);
    }
    ewriter w;
    w.filename(file, books);
    w.ytickers(tickers);
    w.yname(names);
    w.ydate(numbers);
    w.yopen(numbers);
    w.yhigh(numbers);
    w.ylow(numbers);
    w.yclose(numbers);
    w.yvolume(numbers);
    w.go();
    waitIdle(w);
    EXPECT_EQ(w.sheets(), 2);
    // Large enough for the FAT to need DIFAT sectors.
    EXPECT_GT(cfb::layoutFor(QFileInfo(file).size()).difatSectors, 0u);

    const QVector<ReadSheet> sheets = readBoth(file, {0, -1});
    ASSERT_EQ(sheets.size(), 2);
    EXPECT_EQ(sheets[0].name, "Blad1");
    EXPECT_EQ(sheets[0].rows, XlsBook::kRowsPerSheet);
    EXPECT_EQ(sheets[1].name, "Blad2");
    EXPECT_EQ(sheets[1].rows, 5);
    ASSERT_EQ(sheets[0].cells.size(), 2);
    EXPECT_EQ(sheets[0].cells[1][0].toString(), QStringLiteral("T%1").arg(XlsBook::kRowsPerSheet - 1));
    ASSERT_EQ(sheets[1].cells.size(), 2);
    EXPECT_EQ(sheets[1].cells[0][0].toString(), QStringLiteral("T%1").arg(XlsBook::kRowsPerSheet));
    EXPECT_EQ(sheets[1].cells[1][1].toString(), names.last());
    EXPECT_EQ(sheets[1].cells[1][6].toDouble(), rows - 1);
}

// A large workbook handed over in many blocks is not rewritten after every
// block; flush() puts whatever is still owed on disk.
TEST_F(ExcelTest, FlushWritesWhatIsNotOnDiskYet)
{
    const QString file = books.create(true);
    ewriter w;
    w.filename(file, books);
    for (int block = 0; block < 3; ++block) {
        QString lines;
        for (int i = 0; i < 20000; ++i)
            lines += QStringLiteral("B%1,20040315,1,2,0.5,%2,100\r\n").arg(block).arg(i);
        w.raw(lines);
        w.HName(QStringLiteral("Block %1").arg(block));
        w.go();
        waitIdle(w);
    }
    QFile::remove(file);  // as if the last save were still owed
    EXPECT_TRUE(w.flush());
    EXPECT_EQ(w.rowsSaved(), 60000);
    const QVector<ReadSheet> sheets = readBoth(file, {-1});
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0].rows, 60000);
    EXPECT_EQ(sheets[0].cells[0][0], text("B2"));
    EXPECT_EQ(sheets[0].cells[0][6], num(19999));
}

TEST_F(ExcelTest, LongTextsCrossRecordBoundariesIntact)
{
    // Strings of about 3,000 characters, Latin-1, others and surrogate
    // pairs, fill the string table past several CONTINUE records at every
    // kind of split.
    XlsBook book;
    QStringList longTexts;
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
    for (int i = 0; i < 18; ++i) {
        const QString unit = i % 3 == 0 ? QString(QChar('a' + i)) : i % 3 == 1 ? QString(QChar(0x20AC)) : face;
        // (FreeXL refuses strings of much more than 2,700 pairs.)
        longTexts << unit.repeated((unit == face ? 1400 : 2990) + i) + QString::number(i);
        book.addRow({XlsCell::ofText(longTexts.last()), XlsCell::ofNumber(i)});
    }
    const QString file = folder + "long.xls";
    book.save(file);
    const QVector<ReadSheet> sheets = readBoth(file);
    ASSERT_EQ(sheets.size(), 1);
    ASSERT_EQ(sheets[0].cells.size(), 18);
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(sheets[0].cells[i][0].toString(), longTexts[i]) << i;
}

// Full sheets leave memory for the book's spill file; every save, also one
// after more rows, reads them back in place, and a copy of the book keeps
// its sheets too.
TEST_F(ExcelTest, SpilledSheetsAreSavedAgainWhole)
{
    XlsBook book;
    auto add = [&book](int from, int count) {
        for (int i = from; i < from + count; ++i)
            book.addRow({XlsCell::ofText(QStringLiteral("T%1").arg(i % 997)), XlsCell::ofNumber(i)});
    };
    add(0, 2 * XlsBook::kRowsPerSheet + 3);
    const QString file = folder + "spilled.xls";
    book.save(file);
    const QByteArray first = readAll(file);
    add(2 * XlsBook::kRowsPerSheet + 3, XlsBook::kRowsPerSheet);
    const XlsBook copy = book;
    book.save(file);
    EXPECT_NE(readAll(file), first);
    const QByteArray stream = copy.stream();
    EXPECT_TRUE(readAll(file).mid(cfb::kSectorSize, stream.size()) == stream);  // right after the header

    const QVector<ReadSheet> sheets = readBoth(file, {0, -1});
    ASSERT_EQ(sheets.size(), 4);
    EXPECT_EQ(sheets[0].rows, XlsBook::kRowsPerSheet);
    ASSERT_FALSE(sheets[0].cells.isEmpty());
    EXPECT_EQ(sheets[0].cells.last()[1].toDouble(), XlsBook::kRowsPerSheet - 1);
    ASSERT_FALSE(sheets[1].cells.isEmpty());
    EXPECT_EQ(sheets[1].cells.first()[1].toDouble(), XlsBook::kRowsPerSheet);
    EXPECT_EQ(sheets[3].rows, 3);
    ASSERT_FALSE(sheets[3].cells.isEmpty());
    EXPECT_EQ(sheets[3].cells.last()[1].toDouble(), 3 * XlsBook::kRowsPerSheet + 2);
    EXPECT_EQ(sheets[3].cells.last()[0].toString(), QStringLiteral("T%1").arg((3 * XlsBook::kRowsPerSheet + 2) % 997));
}

TEST_F(ExcelTest, AFailedWriteFailsTheWorkbookWithAMessage)
{
    const QString file = books.create(false);
    ewriter w;
    w.filename(file, books);
    w.ytickers({"AAA"});
    w.go();
    waitIdle(w);
    ASSERT_EQ(w.rowsSaved(), 1);

    // The folder goes away: the next write fails, the error dialog tells
    // so (answered with Ignore), and the writer takes no further rows.
    QDir(folder).removeRecursively();
    msgs.queue(Answer::Ignore);
    w.ytickers({"BBB"});
    w.go();
    waitIdle(w);
    EXPECT_TRUE(w.failed());
    EXPECT_EQ(w.rowsSaved(), 1);
    ASSERT_EQ(msgs.shown.size(), 1);
    EXPECT_EQ(msgs.shown[0].buttons, Buttons::AbortRetryIgnore);

    QDir().mkpath(folder);
    w.ytickers({"CCC"});
    w.go();
    waitIdle(w);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(msgs.shown.size(), 1);
}

TEST_F(ExcelTest, EngineTestNeedsAWritableFolder)
{
    EXPECT_TRUE(ewriter::engineTest());
    EXPECT_TRUE(ewriter::engineTest(home()));
    EXPECT_FALSE(ewriter::engineTest(path("missing/")));
    writeFile(path("plainfile"), "x");
    EXPECT_FALSE(ewriter::engineTest(path("plainfile")));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList());  // the probe is gone
}

TEST_F(ExcelTest, CompoundFileHeaderAndDirectory)
{
    // An empty workbook: the stream padded to 4,096 bytes is sectors 0-7,
    // the FAT sector 8, the directory sector 9.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QByteArray stream = XlsBook().stream();
    ASSERT_TRUE(cfb::write(buffer, {QByteArrayView(stream)}, "Workbook"));
    const QByteArray f = buffer.data();
    ASSERT_EQ(f.size(), 512 * 11);
    auto u16 = [&f](int at) { return qFromLittleEndian<quint16>(f.constData() + at); };
    auto u32 = [&f](int at) { return qFromLittleEndian<quint32>(f.constData() + at); };
    EXPECT_EQ(f.left(8), QByteArray::fromHex("D0CF11E0A1B11AE1"));
    EXPECT_EQ(u16(24), 0x3E);
    EXPECT_EQ(u16(26), 3);
    EXPECT_EQ(u16(28), 0xFFFE);
    EXPECT_EQ(u16(30), 9);
    EXPECT_EQ(u16(32), 6);
    EXPECT_EQ(u32(44), 1u);           // FAT sectors
    EXPECT_EQ(u32(48), 9u);           // first directory sector
    EXPECT_EQ(u32(56), 0x1000u);      // mini-stream cutoff
    EXPECT_EQ(u32(60), 0xFFFFFFFEu);  // no mini FAT
    EXPECT_EQ(u32(68), 0xFFFFFFFEu);  // no DIFAT sector
    EXPECT_EQ(u32(76), 8u);           // the FAT sector
    EXPECT_EQ(u32(80), 0xFFFFFFFFu);
    const int fat = 512 * 9;
    for (int s = 0; s < 7; ++s)
        EXPECT_EQ(u32(fat + 4 * s), static_cast<quint32>(s + 1));
    EXPECT_EQ(u32(fat + 28), 0xFFFFFFFEu);
    EXPECT_EQ(u32(fat + 32), 0xFFFFFFFDu);
    EXPECT_EQ(u32(fat + 36), 0xFFFFFFFEu);
    EXPECT_EQ(u32(fat + 40), 0xFFFFFFFFu);
    const int dir = 512 * 10;
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(f.constData() + dir), 10), "Root Entry");
    EXPECT_EQ(u16(dir + 64), 22);
    EXPECT_EQ(static_cast<int>(f[dir + 66]), 5);
    EXPECT_EQ(u32(dir + 76), 1u);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(f.constData() + dir + 128), 8), "Workbook");
    EXPECT_EQ(u16(dir + 128 + 64), 18);
    EXPECT_EQ(static_cast<int>(f[dir + 128 + 66]), 2);
    EXPECT_EQ(u32(dir + 128 + 116), 0u);
    EXPECT_EQ(u32(dir + 128 + 120), 4096u);
    // The stream starts with the workbook's BOF; the padding is zeros.
    EXPECT_EQ(f.mid(512, stream.size()), stream);
    EXPECT_EQ(f.mid(512 + stream.size(), 4096 - stream.size()), QByteArray(4096 - stream.size(), '\0'));
    EXPECT_EQ(stream.left(8), QByteArray::fromHex("0908100000060500"));
}

TEST_F(ExcelTest, FatCountsCoverThemselves)
{
    // 109 FAT sectors map 13,952 sectors; one more needs a DIFAT sector.
    const cfb::Layout small = cfb::layoutFor(512 * 100);
    EXPECT_EQ(small.fatSectors, 1u);
    EXPECT_EQ(small.difatSectors, 0u);
    const cfb::Layout edge = cfb::layoutFor(512LL * (109 * 128 - 110));
    EXPECT_EQ(edge.fatSectors, 109u);
    EXPECT_EQ(edge.difatSectors, 0u);
    const cfb::Layout over = cfb::layoutFor(512LL * (109 * 128 - 109));
    EXPECT_EQ(over.fatSectors, 110u);
    EXPECT_EQ(over.difatSectors, 1u);
    for (const cfb::Layout& l : {small, edge, over})
        EXPECT_GE(l.fatSectors * 128, l.streamSectors + l.fatSectors + l.difatSectors + 1);
}
