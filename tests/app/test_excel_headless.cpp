#include "../writers/xlsreaders.h"
#include "downloadfixture.h"

#include "support/settingsstore.h"

#include <QDir>
#include <QFile>

// Format E and the AmiBroker import as a user drives them: switched on with
// the format command, then a download run that writes the workbook and
// runs the import command.
class ExcelRunTest : public DownloadCommandTest {
protected:
    // An import command that records its arguments and exits with `status`.
    QString importScript(int status)
    {
        const QString file = path("import.sh");
        writeFile(file, QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1'\n"
                                       "cp \"$1\" '%2'\nexit %3\n")
                            .arg(path("args.txt"), path("imported.txt"))
                            .arg(status)
                            .toUtf8());
        QFile(file).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return file;
    }
    QString workbook() const
    {
        return folder.value('E') + QStringLiteral("quotes%1-1.xls").arg(day.toString("yyyyMMdd"));
    }
};

TEST_F(ExcelRunTest, FormatCommandSwitchesExcelAndAmiBroker)
{
    const QString dir = path("xls");
    QDir().mkpath(dir);
    ProgramRun r = runQuotaris({"format", "E", "on", "--folder", dir});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, "E Excel XLS: on, folder " + dir + "/\n");

    r = runQuotaris({"format", "A", "on"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("Unable to write Amibroker-format"));
    EXPECT_TRUE(r.err.contains("No import command is set"));
    r = runQuotaris({"format", "A", "on", "--command", "no-such-importer %f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("not on the PATH: no-such-importer"));

    const QString command = "\"" + importScript(0) + "\" %f %d";
    r = runQuotaris({"format", "A", "on", "--command", command});
    EXPECT_EQ(r.status, 0) << qPrintable(r.err);
    EXPECT_EQ(r.out, "A Amibroker: on, command " + command + "\n");
    store::sync();  // the program changed the file
    EXPECT_EQ(store::read("AmiBrokerImport", {}), command);
}

TEST_F(ExcelRunTest, RunWritesTheWorkbookAndRunsTheImport)
{
    // 200 symbols: two batches, two writers adding to one workbook.
    const QStringList tickers = numbered("T", 200);
    addSymbols(tickers);
    switchOn("EA");
    store::write("AmiBrokerImport", "\"" + importScript(0) + "\" %f %d");
    store::sync();

    const Run r = run();
    ASSERT_EQ(r.status, 0) << qPrintable(r.out.join('\n') + r.err);
    EXPECT_TRUE(r.out.contains("written E (Excel XLS): 200"));
    EXPECT_TRUE(r.out.contains("written A (Amibroker): 200"));
    EXPECT_TRUE(r.out.contains("Excel workbook " + workbook() + ": 1 sheet"));
    EXPECT_TRUE(r.out.contains("Export to Amibroker succeeded"));

    QString error;
    const QVector<ReadSheet> sheets = readWithFreeXl(workbook(), &error);
    ASSERT_TRUE(error.isEmpty()) << qPrintable(error);
    ASSERT_EQ(sheets.size(), 1);
    EXPECT_EQ(sheets[0].name, "Blad1");
    ASSERT_EQ(sheets[0].rows, 200);
    QStringList written;
    for (const auto& row : sheets[0].cells)
        written << row[0].toString();
    written.sort();
    EXPECT_EQ(written, tickers);
    const auto& row = sheets[0].cells[0];
    EXPECT_EQ(row[1].toString(), row[0].toString() + " CORP");
    EXPECT_EQ(row[2].toString(), day.toString("yyyyMMdd"));
    EXPECT_EQ(row[3], QVariant(10.5));
    EXPECT_EQ(row[6], QVariant(10.75));
    EXPECT_EQ(row[7].toString(), "1200");

    // The import got the staging file and the import definition as two
    // arguments, and the file held every quote.
    const QString staging = QDir(dataFolder()).absoluteFilePath("ami2.txt");
    EXPECT_EQ(QString::fromUtf8(readAll(path("args.txt"))), staging + "\naqd.format\n");
    EXPECT_EQ(readAll(path("imported.txt")).count("\r\n"), 200);

    // A second run the same day takes the next workbook name.
    store::write("AmiBrokerImport", "\"" + importScript(1) + "\" %f");
    store::sync();
    const Run again = run();
    EXPECT_TRUE(again.out.contains("Export to Amibroker failed")) << qPrintable(again.out.join('\n'));
    EXPECT_TRUE(again.out.contains("Excel workbook " + QString(workbook()).replace("-1.xls", "-2.xls") + ": 1 sheet"));
    EXPECT_EQ(again.out.last(),
              "Download finished: 200 of 200 written; 200 quotes could not be written to every format");
}
