#include "downloadfixture.h"

#include "support/paths.h"
#include "writers/formatregistry.h"

#include <QDir>
#include <QFile>

using Fault = FakeQuoteService::Fault;

namespace {
// The value of the summary line "name: value".
std::string summaryValue(const QStringList& out, const QString& name)
{
    for (const QString& line : out) {
        if (line.startsWith(name + QStringLiteral(": ")))
            return line.mid(name.size() + 2).toStdString();
    }
    return "<missing>";
}

std::string sorted(QStringList list)
{
    list.sort();
    return list.join(QLatin1Char(' ')).toStdString();
}
}  // namespace

// Each bad answer fails its own batch only: all its tickers are recorded as
// failed, nothing of it is written, and the other batches are written.
class DownloadFaultTest : public DownloadCommandTest {
protected:
    void SetUp() override
    {
        DownloadCommandTest::SetUp();
        // One attempt of a few seconds, so a hanging answer ends its batch
        // soon, while no answer the fake gives at once runs into it even when
        // the run is slow to get to it (it writes other batches meanwhile).
        setColumn(QStringLiteral("teller2"), 5);
        setColumn(QStringLiteral("teller3"), 1);
        switchOn(QStringLiteral("CP"));
    }

    // The batch a request carries, by the first letter of its first ticker.
    static char batchOf(const FakeQuoteService::Request& r)
    {
        return r.path == "/d/quotes.csv" ? r.query.value("s").at(0) : '\0';
    }

    QString asciiFile(const QString& ticker) const
    {
        return folder[QLatin1Char('C')] + ticker + QStringLiteral(".asc");
    }
};

TEST_F(DownloadFaultTest, EachBadAnswerFailsOnlyItsBatch)
{
    // Batches G (garbage), H (HTML page), T (hang past the time-out),
    // M (connection dropped mid-body), B (dropped before an answer), then
    // two good ones, O with a full batch and Q with a short one.
    const QString bad = QStringLiteral("GHTMB");
    QStringList failed;
    for (const QChar c : bad) {
        const QStringList t = numbered(QString(c), 180);
        addSymbols(t);
        failed << t;
    }
    addSymbols(numbered(QStringLiteral("O"), 180));
    addSymbols(numbered(QStringLiteral("Q"), 7));
    fake.setResponder([](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        static const char garbage[] = "\x01\x7f garbage;;;\r\n\xff\xfe\x00 ,,,\"\r\n";
        if (batchOf(r) == 'G')
            return FakeQuoteService::Reply{200, QByteArray(garbage, sizeof garbage - 1), "text/plain"};
        return std::nullopt;
    });
    fake.setFaultChooser([](const FakeQuoteService::Request& r) {
        switch (batchOf(r)) {
        case 'H':
            return Fault::HtmlPage;
        case 'T':
            return Fault::Hang;
        case 'M':
            return Fault::CloseMidBody;
        case 'B':
            return Fault::CloseBeforeAnswer;
        default:
            return Fault::None;
        }
    });

    const Run r = run();
    EXPECT_EQ(r.status, 5) << qPrintable(r.err);  // some batches got, not all
    EXPECT_EQ(summaryValue(r.out, QStringLiteral("requests")), "7, failed: 5");
    EXPECT_EQ(summaryValue(r.out, QStringLiteral("quotes downloaded")), "187");
    EXPECT_EQ(summaryValue(r.out, QStringLiteral("written C (ASCII-format (CSV))")), "187");
    EXPECT_EQ(summaryValue(r.out, QStringLiteral("written P (PRN-format)")), "187");
    EXPECT_EQ(sorted(QString::fromStdString(summaryValue(r.out, QStringLiteral("failed"))).split(QLatin1Char(' '))),
              sorted(failed));
    EXPECT_EQ(summaryValue(r.out, QStringLiteral("not found")), "");
    // The counts, then what failed with the service.
    EXPECT_TRUE(r.out.last().startsWith(QStringLiteral(
        "Download finished: 187 of 1,087 written; 900 failed (5 of 7 requests failed) (see the report): the quote "
        "service ")))
        << qPrintable(r.out.last());

    // Nothing of a failed batch is written anywhere; the good ones are.
    for (const QChar c : bad)
        EXPECT_FALSE(QFile::exists(asciiFile(QString(c) + QStringLiteral("000")))) << c.toLatin1();
    EXPECT_EQ(readAll(asciiFile(QStringLiteral("O179"))).count("\r\n"), 1);
    EXPECT_EQ(readAll(asciiFile(QStringLiteral("Q006"))).count("\r\n"), 1);
    const QByteArray staged = readAll(paths::dataFile(QStringLiteral("ami1.txt")));
    EXPECT_EQ(staged.count("\r\n"), 188);
    EXPECT_FALSE(staged.contains("G000"));
    EXPECT_TRUE(staged.contains("O000,"));
}

TEST_F(DownloadFaultTest, NothingDownloadedExitsNonZero)
{
    addSymbols(numbered(QStringLiteral("H"), 5));
    addSymbols(numbered(QStringLiteral("M"), 200));
    fake.setFaultChooser(
        [](const FakeQuoteService::Request& r) { return batchOf(r) == 'H' ? Fault::HtmlPage : Fault::CloseMidBody; });
    const Run r = run();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(summaryValue(r.out, QStringLiteral("requests")), "2, failed: 2");
    EXPECT_EQ(QString::fromStdString(summaryValue(r.out, QStringLiteral("failed"))).split(QLatin1Char(' ')).size(),
              205);
    EXPECT_TRUE(r.out.last().startsWith(QStringLiteral(
        "Download failed: 0 of 205 written; 205 failed (2 of 2 requests failed) (see the report): the quote "
        "service ")))
        << qPrintable(r.out.last());
    EXPECT_FALSE(QFile::exists(asciiFile(QStringLiteral("H000"))));
}

// The ASCII folder on a full disk: the format is left out before anything
// is written, its files stay as they were, the reason is named and the
// run does not claim success.
TEST_F(DownloadFaultTest, AFullDiskLeavesTheFilesAsTheyWere)
{
    SmallDisk disk(path(QStringLiteral("small")), 256);
    if (!disk.mounted())
        GTEST_SKIP() << "no right to mount a file system of the test's own";
    const QString ascii = path(QStringLiteral("small/C/"));
    QDir().mkpath(ascii);
    setColumn(QLatin1String(formats::find(QLatin1Char('C'))->folderColumn()), ascii);
    folder[QLatin1Char('C')] = ascii;
    const QStringList tickers{QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC")};
    addSymbols(tickers);
    const QByteArray old = "20030102,1,1,1,1,1\r\n";
    for (const QString& t : tickers)
        writeFile(asciiFile(t), old);
    disk.fill(0);

    const Run r = run();
    EXPECT_EQ(r.status, 5) << qPrintable(r.out.join(QLatin1Char('\n')));
    EXPECT_TRUE(r.err.contains(QStringLiteral("ASCII-format (CSV) not written: the folder %1 is full").arg(ascii)))
        << qPrintable(r.err);
    EXPECT_TRUE(r.out.last().contains(QStringLiteral("ASCII-format (CSV) left out"))) << qPrintable(r.out.last());
    for (const QString& t : tickers)
        EXPECT_EQ(readAll(asciiFile(t)), old) << qPrintable(t);
}
