// The manual page and the bash completion against the program's own lists of
// commands, formats and help pages, so that neither falls behind a change.
#include "testutil.h"

#include "app/headless.h"
#include "support/help.h"
#include "writers/formatregistry.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSet>

namespace {

const QString kShare = QStringLiteral(QUOTARIS_SHARE_DIR);

// The words, sorted and without repeats, as one text that a failure shows.
QString words(QStringList list)
{
    list.sort();
    list.removeDuplicates();
    return list.join(QLatin1Char(' '));
}

QString commandNames()
{
    QStringList names;
    for (const HeadlessCommand& c : headlessCommands())
        names << QLatin1String(c.name);
    // Needs the widgets, so main() runs it before the headless commands.
    names << QStringLiteral("screenshots");
    return words(names);
}

// What the completion offers for the words of a command line, the last one
// being the word under the cursor.
QStringList complete(const QStringList& words)
{
    QString array;
    for (const QString& w : words)
        array += QLatin1Char('\'') + w + QStringLiteral("' ");
    const QString script = QStringLiteral("source \"$1\"; COMP_WORDS=(%1); COMP_CWORD=%2; _quotaris; "
                                          "printf '%s\\n' \"${COMPREPLY[@]}\"")
                               .arg(array)
                               .arg(words.size() - 1);
    QProcess bash;
    bash.start(QStringLiteral("bash"),
               {QStringLiteral("-c"), script, QStringLiteral("bash"), QStringLiteral(QUOTARIS_COMPLETION)});
    EXPECT_TRUE(bash.waitForFinished(10000));
    EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().constData();
    return QString::fromUtf8(bash.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QSet<QString> asSet(const QStringList& list) { return QSet<QString>(list.begin(), list.end()); }

}  // namespace

TEST(ManualPageTest, DescribesEveryCommandAndEveryExitStatus)
{
    const QString page = QString::fromUtf8(readAll(kShare + QStringLiteral("/man/quotaris.1.in")));
    ASSERT_FALSE(page.isEmpty());
    const qsizetype commands = page.indexOf(QStringLiteral("\n.SH COMMANDS"));
    const qsizetype exits = page.indexOf(QStringLiteral("\n.SH EXIT STATUS"));
    ASSERT_GT(commands, 0);
    ASSERT_GT(exits, commands);

    // Each command heads an entry (.B, .BI or .BR, "-" written as "\-").
    QStringList described;
    static const QRegularExpression entry(QStringLiteral("\\n\\.TP\\n\\.B[IR]? +([a-z\\\\-]+)"));
    for (auto it = entry.globalMatch(page.mid(commands, exits - commands)); it.hasNext();)
        described << it.next().captured(1).remove(QLatin1Char('\\'));
    EXPECT_EQ(words(described), commandNames());

    // The statuses the commands return, each with its entry.
    const QString statuses = page.mid(exits, page.indexOf(QStringLiteral("\n.SH "), exits + 1) - exits);
    for (const char* status : {"0", "1", "2", "3", "4"})
        EXPECT_TRUE(statuses.contains(QStringLiteral(".TP\n.B %1\n").arg(QLatin1String(status)))) << status;
}

TEST(CompletionTest, OffersTheCommandsFormatsListsAndPages)
{
    EXPECT_EQ(complete({QStringLiteral("quotaris"), QStringLiteral("dow")}),
              (QStringList{QStringLiteral("download"), QStringLiteral("download-lists")}));
    EXPECT_EQ(words(complete({QStringLiteral("quotaris"), QString()})), commandNames());
    // The command after the options of the program.
    EXPECT_EQ(complete({QStringLiteral("quotaris"), QStringLiteral("--home"), QStringLiteral("/tmp"),
                        QStringLiteral("check-")}),
              QStringList{QStringLiteral("check-update")});

    QStringList letters;
    for (const ExportFormat& f : formats::all())
        letters << QString(f.letter);
    EXPECT_EQ(words(complete({QStringLiteral("quotaris"), QStringLiteral("format"), QString()})), words(letters));
    EXPECT_EQ(complete({QStringLiteral("quotaris"), QStringLiteral("format"), QStringLiteral("P"), QString()}),
              (QStringList{QStringLiteral("on"), QStringLiteral("off")}));
    EXPECT_EQ(words(complete({QStringLiteral("quotaris"), QStringLiteral("fill"), QString()})), words(letters));

    EXPECT_EQ(words(complete({QStringLiteral("quotaris"), QStringLiteral("help"), QString()})),
              words(help::pageNames()));

    QStringList lists;
    for (int n = 1; n <= 16; ++n)
        lists << QString::number(n);
    EXPECT_EQ(complete({QStringLiteral("quotaris"), QStringLiteral("download"), QStringLiteral("current"),
                        QStringLiteral("--list"), QString()}),
              lists);
    EXPECT_EQ(complete({QStringLiteral("quotaris"), QStringLiteral("list"), QStringLiteral("copy"), QStringLiteral("3"),
                        QStringLiteral("1")}),
              (QStringList{QStringLiteral("1"), QStringLiteral("10"), QStringLiteral("11"), QStringLiteral("12"),
                           QStringLiteral("13"), QStringLiteral("14"), QStringLiteral("15"), QStringLiteral("16")}));
    // After a comma, the number after it.
    EXPECT_EQ(complete({QStringLiteral("quotaris"), QStringLiteral("download-lists"), QStringLiteral("2,9")}),
              QStringList{QStringLiteral("2,9")});
}

TEST(CompletionTest, OffersTheOptionsEachCommandTakes)
{
    // Every option of a command's usage is offered after "--" at the place
    // the usage shows it.
    const QList<QPair<QStringList, QString>> lines = {
        {{QStringLiteral("download"), QStringLiteral("current")}, QStringLiteral("download")},
        {{QStringLiteral("download"), QStringLiteral("history")}, QStringLiteral("download")},
        {{QStringLiteral("format"), QStringLiteral("C"), QStringLiteral("on")}, QStringLiteral("format")},
        {{QStringLiteral("symbols")}, QStringLiteral("symbols")},
        {{QStringLiteral("search"), QStringLiteral("shell")}, QStringLiteral("search")},
        {{QStringLiteral("members"), QStringLiteral("^AEX")}, QStringLiteral("members")},
        {{QStringLiteral("serve")}, QStringLiteral("serve")},
        {{QStringLiteral("fill"), QStringLiteral("C")}, QStringLiteral("fill")},
        {{QStringLiteral("gaps")}, QStringLiteral("gaps")},
        {{QStringLiteral("import")}, QStringLiteral("import")},
        {{QStringLiteral("export")}, QStringLiteral("export")},
    };
    static const QRegularExpression option(QStringLiteral("--[a-z-]+"));
    for (const auto& [line, command] : lines) {
        QSet<QString> usage;
        for (const HeadlessCommand& c : headlessCommands()) {
            const QString text = QLatin1String(c.usage);
            // download has one entry per kind; take the one of this line.
            if (QLatin1String(c.name) != command || (command == QLatin1String("download") && !text.startsWith(line[1])))
                continue;
            for (auto it = option.globalMatch(text); it.hasNext();)
                usage.insert(it.next().captured());
        }
        ASSERT_FALSE(usage.isEmpty()) << qPrintable(line.join(QLatin1Char(' ')));
        const QSet<QString> offered =
            asSet(complete(QStringList{QStringLiteral("quotaris")} + line + QStringList{QStringLiteral("--")}));
        EXPECT_TRUE(offered.contains(usage))
            << qPrintable(line.join(QLatin1Char(' ')) + QStringLiteral(" offers ") +
                          QStringList(offered.begin(), offered.end()).join(QLatin1Char(' ')));
    }
    // Values of options.
    EXPECT_EQ(
        complete({QStringLiteral("quotaris"), QStringLiteral("format"), QStringLiteral("P"), QStringLiteral("on"),
                  QStringLiteral("--extension"), QString()}),
        (QStringList{QStringLiteral("PRN"), QStringLiteral("TXT"), QStringLiteral("ASC"), QStringLiteral("CSV")}));
    EXPECT_EQ(complete({QStringLiteral("quotaris"), QStringLiteral("search"), QStringLiteral("x"),
                        QStringLiteral("--kind"), QStringLiteral("f")}),
              QStringList{QStringLiteral("funds")});
}
