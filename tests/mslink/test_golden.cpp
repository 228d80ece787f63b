// The files of a folder written from fixed quotes, compared byte for byte
// with what the format prescribes.
#include "golden.h"

#include "mslink/numbers.h"
#include "mslink/reader.h"
#include "mslink/writer.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace mslink;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray word(quint32 w)
{
    QByteArray b(4, '\0');
    putU32(b.data(), w);
    return b;
}

// One security, ABC "ABC Corporation", two days.
void writeAbc(const QString& dir)
{
    Writer w;
    w.openFolder(dir);
    w.addSecurity(QStringLiteral("ABC"), QStringLiteral("ABC Corporation"), 1);
    w.appendRecord(19970923, 120000, 79.97f, 80.0f, 79.97f, 80.0f, 90500.0f, 0.0f);
    w.appendRecord(19970924, 120000, 80.0f, 100.0f, 79.97f, 100.0f, 1000.0f, 0.0f);
    w.flush();
    w.closeSecurity();
    w.release();
}

}  // namespace

TEST(MsNumbers, MbfMatchesTheKnownBytes)
{
    EXPECT_EQ(word(toMbf(79.97f)).toHex(' '), "a4 f0 1f 87");
    EXPECT_EQ(word(toMbf(970923.0f)).toHex(' '), "b0 0a 6d 94");
    EXPECT_EQ(word(toMbf(90500.0f)).toHex(' '), "00 c2 30 91");
    // Zero is all zero bytes, not the exponent shifted by two.
    EXPECT_EQ(word(toMbf(0.0f)).toHex(' '), "00 00 00 00");
    EXPECT_EQ(word(toMbf(-0.0f)).toHex(' '), "00 00 00 00");
    EXPECT_EQ(fromMbf(0x00000000), 0.0f);
    EXPECT_EQ(fromMbf(0x00123456), 0.0f);  // exponent 0 is zero, whatever the mantissa
    EXPECT_EQ(fromMbf(0x871FF0A4), 79.97f);
    EXPECT_EQ(fromMbf(toMbf(-12.25f)), -12.25f);
    // Volumes beyond 24 bits round to the nearest single.
    EXPECT_EQ(fromMbf(toMbf(16777217.0f)), 16777216.0f);
}

TEST(MsGolden, MasterEmasterAndDataFile)
{
    QTemporaryDir dir;
    writeAbc(dir.path());

    Bytes master(2 * 53);
    master.hex(0, "01 00").hex(2, "01 00");  // one record, highest file number 1
    const int m = 53;
    master.byte(m + 0, 1)
        .hex(m + 1, "65 00")
        .byte(m + 3, 28)
        .byte(m + 4, 7)
        .text(m + 7, 16, "ABC Corporation", ' ')
        .hex(m + 25, "B0 0A 6D 94")
        .hex(m + 29, "C0 0A 6D 94")
        .byte(m + 33, 'D')
        .text(m + 36, 14, "ABC", ' ')
        .byte(m + 50, ' ')
        .byte(m + 51, ' ');
    EXPECT_EQ(fileBytes(dir.filePath("MASTER")).toHex(' '), master.b.toHex(' '));

    Bytes emaster(2 * 192);
    emaster.hex(0, "01 00").hex(2, "01 00");
    const int e = 192;
    emaster.byte(e + 2, 1)
        .byte(e + 6, 7)
        .byte(e + 7, 0x7F)
        .byte(e + 9, ' ')
        .text(e + 11, 14, "ABC", '\0')
        .text(e + 32, 16, "ABC Corporation", '\0')
        .byte(e + 60, 'D')
        .hex(e + 64, "B0 0A 6D 49")
        .hex(e + 72, "C0 0A 6D 49")
        .hex(e + 126, "6B BB 30 01")  // 19970923
        .text(e + 139, 52, "ABC Corporation", '\0');
    EXPECT_EQ(fileBytes(dir.filePath("EMASTER")).toHex(' '), emaster.b.toHex(' '));

    // Seven fields D O H L C V OI; a header one record long counting 2 + 1.
    Bytes data(3 * 28);
    data.hex(2, "03 00");
    data.hex(28, "B0 0A 6D 94 A4 F0 1F 87 00 00 20 87 A4 F0 1F 87 00 00 20 87 00 C2 30 91 00 00 00 00");
    data.hex(56, "C0 0A 6D 94 00 00 20 87 00 00 48 87 A4 F0 1F 87 00 00 48 87 00 00 7A 8A 00 00 00 00");
    EXPECT_EQ(fileBytes(dir.filePath("F1.DAT")).toHex(' '), data.b.toHex(' '));

    // No security needs XMASTER yet, so there is none.
    EXPECT_FALSE(QFile::exists(dir.filePath("XMASTER")));
}

TEST(MsGolden, XmasterEntryAndMwdFile)
{
    QTemporaryDir dir;
    Writer w;
    w.openFolder(dir.path());
    for (int n = 1; n <= 255; ++n)
        w.addSecurity(QStringLiteral("S%1").arg(n), QStringLiteral("Name %1").arg(n));
    w.addSecurity(QStringLiteral("XYZ.AS"), QStringLiteral("Xyz Holding"));
    w.appendRecord(19970923, 120000, 79.97f, 80.0f, 79.97f, 80.0f, 90500.0f, 0.0f);
    w.flush();
    w.release();

    Bytes x(2 * 150);
    x.hex(0, "5D FE 58 4D").hex(10, "01 00").hex(14, "01 00").hex(18, "01 01");  // next free 257
    const int r = 150;
    x.byte(r + 0, 1)
        .text(r + 1, 15, "XYZ.AS", '\0')
        .text(r + 16, 46, "Xyz Holding", '\0')
        .byte(r + 62, 'D')
        .hex(r + 65, "00 01")
        .byte(r + 70, 0x7F)
        .hex(r + 104, "6B BB 30 01")
        .hex(r + 108, "6B BB 30 01")
        .hex(r + 116, "6B BB 30 01");
    EXPECT_EQ(fileBytes(dir.filePath("XMASTER")).toHex(' '), x.b.toHex(' '));

    Bytes data(2 * 28);
    data.hex(2, "02 00");
    data.hex(28, "B0 0A 6D 94 A4 F0 1F 87 00 00 20 87 A4 F0 1F 87 00 00 20 87 00 C2 30 91 00 00 00 00");
    EXPECT_EQ(fileBytes(dir.filePath("F256.MWD")).toHex(' '), data.b.toHex(' '));

    // MASTER holds 255 entries and names its own highest file number.
    const QByteArray master = fileBytes(dir.filePath("MASTER"));
    ASSERT_EQ(master.size(), 256 * 53);
    EXPECT_EQ(master.left(4).toHex(' '), "ff 00 ff 00");
    EXPECT_EQ(fileBytes(dir.filePath("EMASTER")).size(), 256 * 192);
}

TEST(MsGolden, RoundTripThroughTheReader)
{
    QTemporaryDir dir;
    writeAbc(dir.path());
    Reader r;
    r.openFolder(dir.path());
    EXPECT_EQ(r.securityCount(), 1);
    ASSERT_TRUE(r.findSecurity(QStringLiteral("abc")));
    EXPECT_EQ(r.currentSecurityName(), QStringLiteral("ABC Corporation"));
    r.loadAllRecords();
    ASSERT_EQ(r.arrays().dates, (std::vector<qint32>{19970923, 19970924}));
    EXPECT_EQ(r.arrays().opens, (std::vector<float>{79.97f, 80.0f}));
    EXPECT_EQ(r.arrays().highs, (std::vector<float>{80.0f, 100.0f}));
    EXPECT_EQ(r.arrays().volumes, (std::vector<float>{90500.0f, 1000.0f}));
    r.seekDate(QStringLiteral("19970924"));
    r.goToFoundRecord();
    EXPECT_EQ(r.currentRecordVolume(), 1000.0f);
    r.seekDate(QStringLiteral("19970925"));
    r.goToFoundRecord();
    EXPECT_EQ(r.currentRecordVolume(), 0.0f);
}
