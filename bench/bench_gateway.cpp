// The gateway's figures: `quotaris serve` as a child process against the fake
// provider in this process; one legacy request for 180 current quotes, cold
// (the session's cookie and crumb first) and warm, at once and with a
// provider that takes 0.5 s per answer; 1,800 symbols in ten requests at
// once through the quote endpoint; and a batch of 180 on the fallback path
// (no session to be had) as the program asks it, retrying with the same URL
// after each closed attempt. Prints the time to the answer, the provider
// requests it took and the gateway process's memory.
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
#include <QTimer>
#include <cstdio>
#include <memory>
#include <vector>

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

QString batch(const QString& prefix, int from = 0)
{
    QString s;
    for (int i = from; i < from + 180; ++i)
        s += prefix + QStringLiteral("%1+").arg(i, 4, 10, QLatin1Char('0'));
    return s;
}

// `quotaris serve` on a free port; its address, or empty.
QString startServe(QProcess& serve)
{
    serve.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    serve.start(QStringLiteral(QUOTARIS_BINARY), {QStringLiteral("serve")});
    waitUntil([&] { return serve.canReadLine() || serve.state() == QProcess::NotRunning; }, 20000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("http://(127.0.0.1:\\d+)")).match(QString::fromUtf8(serve.readLine()));
    return m.hasMatch() ? m.captured(1) : QString();
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
    for (const char* prefix : {"A", "B", "C", "F"}) {
        for (int i = 0; i < 180; ++i)
            provider.addQuote(QStringLiteral("%1%2").arg(QLatin1String(prefix)).arg(i, 4, 10, QLatin1Char('0')), 10 + i,
                              1000 + i, 1739566800);
    }
    for (int i = 0; i < 1800; ++i)
        provider.addQuote(QStringLiteral("D%1").arg(i, 4, 10, QLatin1Char('0')), 10 + i, 1000 + i, 1739566800);
    provider.useInStore();

    QProcess serve;
    const QString address = startServe(serve);
    if (address.isEmpty()) {
        std::fprintf(stderr, "the gateway did not start\n");
        return 1;
    }
    const qint64 pid = serve.processId();
    std::printf("gateway pid %lld at %s, memory at start: VmRSS %ld kB\n", pid, qPrintable(address),
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
        QNetworkReply* reply = client.get(QNetworkRequest(
            QUrl(QStringLiteral("http://%1/d/quotes.csv?s=%2&f=sd1t1ohgl1vn&e=.csv").arg(address, symbols))));
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

    {
        // Ten loaders at once, 180 symbols each, a warm session.
        waitUntil([] { return false; }, 2500);
        provider.setDelay(500);
        provider.clearRequests();
        std::vector<std::unique_ptr<QNetworkAccessManager>> clients;
        int finished = 0, lines = 0;
        QElapsedTimer clock;
        clock.start();
        for (int r = 0; r < 10; ++r) {
            clients.push_back(std::make_unique<QNetworkAccessManager>());
            clients.back()->setProxy(QNetworkProxy::NoProxy);
            QNetworkReply* reply = clients.back()->get(
                QNetworkRequest(QUrl(QStringLiteral("http://%1/d/quotes.csv?s=%2&f=sd1t1ohgl1vn&e=.csv")
                                         .arg(address, batch(QStringLiteral("D"), r * 180)))));
            QObject::connect(reply, &QNetworkReply::finished, reply, [&, reply] {
                lines += int(reply->readAll().count("\r\n"));
                ++finished;
                reply->deleteLater();
            });
        }
        waitUntil([&] { return finished == 10; }, 120000);
        std::printf("%-34s %6lld ms, %4d lines, provider requests: %d (quote calls %d; goal 18 calls, < 15 s)\n",
                    "1800 symbols in 10 requests, 0.5 s", clock.elapsed(), lines, int(provider.requests().size()),
                    provider.count("/v7/finance/quote"));
    }
    std::printf("gateway memory: VmRSS %ld kB, VmHWM %ld kB\n", statusKb(pid, "VmRSS:"), statusKb(pid, "VmHWM:"));
    serve.terminate();
    serve.waitForFinished(10000);

    // No session to be had (the crumb comes back as a page): a fresh gateway
    // answers from the keyless endpoints. The program's way: teller2 = 10 s
    // per attempt, up to teller3 = 5 attempts. Then the same with spark
    // answers that lack the day's figures (as older ones did), so that every
    // symbol needs its chart.
    provider.setFault("/v1/test/getcrumb", FakeProvider::Fault::HtmlPage);
    for (const bool bare : {false, true}) {
        provider.sparkWithoutDayFigures(bare);
        provider.setDelay(500);
        QProcess fallback;
        const QString at = startServe(fallback);
        provider.clearRequests();
        QElapsedTimer clock;
        clock.start();
        int attempts = 0, lines = 0;
        while (attempts < 5 && lines == 0) {
            ++attempts;
            QNetworkReply* reply = client.get(
                QNetworkRequest(QUrl(QStringLiteral("http://%1/d/quotes.csv?s=%2&f=sd1t1ohgl1vn&e=.csv")
                                         .arg(at, batch(bare ? QStringLiteral("A") : QStringLiteral("F"))))));
            QTimer::singleShot(10000, reply, &QNetworkReply::abort);
            waitUntil([&] { return reply->isFinished(); }, 15000);
            lines = int(reply->readAll().count("\r\n"));
            delete reply;
        }
        std::printf(
            "%-34s %6lld ms, %3d lines, %d attempt(s), provider requests: %d (spark %d, charts %d; goal < 30 s)\n",
            bare ? "180 symbols, fallback, bare spark" : "180 symbols, fallback, 0.5 s", clock.elapsed(), lines,
            attempts, int(provider.requests().size()), provider.count("/v7/finance/spark"), provider.count("/v8/"));
        fallback.terminate();
        fallback.waitForFinished(10000);
    }
    return 0;
}
