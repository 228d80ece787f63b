// Imports a 63,000-byte file of 9,000 new tickers into a list of a fresh
// database and prints how long reading and importing took, then exports the
// list again.
#include "benchutil.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/listimport.h"
#include "database/lists.h"
#include "support/messages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

namespace {
// 9,000 distinct five-character tickers, each followed by CR LF: 63,000 bytes.
QByteArray makeFile()
{
    const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray bytes;
    for (int i = 0; i < 9000; ++i) {
        int v = i;
        QByteArray ticker(5, 'A');
        for (int k = 4; k >= 1; --k) {
            ticker[k] = digits[v % 36];
            v /= 36;
        }
        bytes += ticker + "\r\n";
    }
    return bytes;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bench::DataFolder folder(bench::DataFolder::Home::Kept);
    if (!folder.opened())
        return 1;
    const QString file = folder.root() + QStringLiteral("symbols.txt");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(makeFile()) != 63000)
        return 1;
    out.close();

    clsData data;
    QElapsedTimer clock;
    clock.start();
    const listimport::FileResult read = listimport::readFile(file);
    const qint64 readMs = clock.elapsed();
    int updates = 0;
    listimport::Progress progress;
    progress.status = [&updates](const QString&) { ++updates; };
    const listimport::Result result = listimport::importSymbols(data, read.entries, 7, progress);
    const qint64 importMs = clock.elapsed();
    const int onList = lists::symbolCount(data.db(), 7);

    clock.restart();
    const int exported = data.Export(folder.root() + QStringLiteral("out.txt"), 7, {QStringLiteral("Symbol")});
    const qint64 exportMs = clock.elapsed();

    std::printf("file: 63000 bytes, %lld symbols read in %lld ms\n", static_cast<long long>(read.entries.size()),
                static_cast<long long>(readMs));
    std::printf("import: %d symbols added to list 7 (%d on the list) in %lld ms, including the read\n", result.added,
                onList, static_cast<long long>(importMs));
    std::printf("export: %d symbols written in %lld ms\n", exported, static_cast<long long>(exportMs));
    std::printf("messages shown: %lld\n", static_cast<long long>(folder.messages().shown.size()));
    setMessages(nullptr);
    return result.added == 9000 && onList == 9000 && exported == 9000 ? 0 : 1;
}
