// `quotaris check` over a folder of ASCII files: 1,000 symbols of ten years
// each by default, one in ten with a single 100x day. Prints the time of the
// check, of the check with --repair (which rewrites the files with a bad
// day), and the findings.
//   ./build/bench/bench_check [files=1000] [years=10]

#include "app/headless.h"
#include "support/messages.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

namespace {

// A random walk of closes on the weekdays of `years` years up to 2025-12-31.
QByteArray history(int symbol, int years, bool badDay)
{
    QByteArray out;
    double price = 10 + symbol % 90;
    quint32 seed = 2654435761u * static_cast<quint32>(symbol + 1);
    const QDate last(2025, 12, 31);
    int n = 0;
    for (QDate d = last.addYears(-years); d <= last; d = d.addDays(1)) {
        if (d.dayOfWeek() >= Qt::Saturday)
            continue;
        seed = seed * 1664525u + 1013904223u;
        price *= 1 + (static_cast<double>(seed >> 8) / (1 << 24) - 0.5) * 0.06;
        const double c = badDay && ++n == 1000 ? price * 100 : price;
        const QByteArray p = QByteArray::number(c, 'f', 2);
        out += d.toString(QStringLiteral("yyyyMMdd")).toLatin1() + ',' + QByteArray::number(c * 0.995, 'f', 2) + ',' +
               QByteArray::number(c * 1.01, 'f', 2) + ',' + QByteArray::number(c * 0.99, 'f', 2) + ',' + p + ',' +
               QByteArray::number(10000 + (seed >> 16)) + "\r\n";
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int years = argc > 2 ? std::atoi(argv[2]) : 10;
    QTemporaryDir root;
    qputenv("QUOTARIS_HOME", root.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toLocal8Bit());
    const QString folder = root.filePath(QStringLiteral("ascii"));
    QDir().mkpath(folder);
    qint64 bytes = 0;
    for (int i = 0; i < files; ++i) {
        const QByteArray content = history(i, years, i % 10 == 0);
        QFile f(folder + QStringLiteral("/SYM%1.asc").arg(i, 5, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
            return 1;
        }
        bytes += content.size();
    }
    std::printf("%d ASCII files of %d years (%.1f MB)\n", files, years, static_cast<double>(bytes) / 1e6);
    // The findings go to stdout: keep them out of the figures.
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    for (const bool repair : {false, true}) {
        if (!freopen("/dev/null", "w", stdout))
            return 1;
        QElapsedTimer clock;
        clock.start();
        QStringList args{folder};
        if (repair)
            args << QStringLiteral("--repair");
        const int status = runHeadless(QStringLiteral("check"), args);
        const qint64 ms = clock.elapsed();
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        std::printf("check%s: %.2f s, exit status %d\n", repair ? " --repair" : "", static_cast<double>(ms) / 1000,
                    status);
        std::fflush(stdout);
    }
    return 0;
}
