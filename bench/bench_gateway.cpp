// The gateway's figures: `quotaris serve` as a child process against the fake
// provider in this process; one legacy request for 180 current quotes, cold
// (the session's cookie and crumb first) and warm, at once and with a
// provider that takes 0.5 s per answer. Prints the time to the answer, the
// provider requests it took and the gateway process's memory.
//   ./build/bench/bench_gateway

#include "fakeprovider.h"

#include "support/settingsstore.h"
#include "support/yield.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>

namespace {

long statusKb(qint64 pid, const char* field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

QString batch(const QString& prefix)
{
    QString s;
    for (int i = 0; i < 180; ++i)
        s += prefix + QStringLiteral("%1+").arg(i, 3, 10, QLatin1Char('0'));
    return s;
}

}  // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    qputenv("HOME", QFile::encodeName(root.path()));
    qputenv("QUOTARIS_HOME", QFile::encodeName(root.path() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + QStringLiteral("/config")));

    FakeProvider provider;
    for (const char* prefix : {"A", "B", "C"}) {
        for (int i = 0; i < 180; ++i)
            provider.addQuote(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(i, 3, 10, QLatin1Char('0')),
                              10 + i, 1000 + i, 1739566800);
    }
    provider.useInStore();

    QProcess serve;
    serve.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    serve.start(QStringLiteral(QUOTARIS_BINARY), {QStringLiteral("serve")});
    waitUntil([&] { return serve.canReadLine() || serve.state() == QProcess::NotRunning; }, 20000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("http://(127.0.0.1:\\d+)")).match(QString::fromUtf8(serve.readLine()));
    if (!m.hasMatch()) {
        std::fprintf(stderr, "the gateway did not start\n");
        return 1;
    }
    const qint64 pid = serve.processId();
    std::printf("gateway pid %lld at %s, memory at start: VmRSS %ld kB\n", pid, qPrintable(m.captured(1)),
                statusKb(pid, "VmRSS:"));

    QNetworkAccessManager client;
    client.setProxy(QNetworkProxy::NoProxy);
    const auto request = [&](const char* label, const QString& symbols, int delayMs) {
        // The provider's rate is 2 a second after a burst of 4: let the
        // burst refill, so that each figure is the request's own.
        waitUntil([] { return false; }, 2500);
        provider.setDelay(delayMs);
        provider.clearRequests();
        QElapsedTimer clock;
        clock.start();
        QNetworkReply* reply = client.get(QNetworkRequest(QUrl(
            QStringLiteral("http://%1/d/quotes.csv?s=%2&f=sd1t1ohgl1vn&e=.csv").arg(m.captured(1), symbols))));
        waitUntil([&] { return reply->isFinished(); }, 60000);
        const QByteArray body = reply->readAll();
        std::printf("%-34s %6lld ms, %3d lines, provider requests: %d (quote calls %d, charts %d)\n", label,
                    clock.elapsed(), int(body.count("\r\n")), int(provider.requests().size()),
                    provider.count("/v7/finance/quote"), provider.count("/v8/"));
        delete reply;
    };
    request("180 symbols, cold, instant", batch(QStringLiteral("A")), 0);
    request("180 symbols, warm, instant", batch(QStringLiteral("B")), 0);
    request("180 symbols, cached", batch(QStringLiteral("B")), 0);
    request("180 symbols, warm, 0.5 s answers", batch(QStringLiteral("C")), 500);
    std::printf("gateway memory: VmRSS %ld kB, VmHWM %ld kB\n", statusKb(pid, "VmRSS:"), statusKb(pid, "VmHWM:"));

    serve.terminate();
    serve.waitForFinished(10000);
    return 0;
}
