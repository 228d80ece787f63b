// The gateway's figures: `quotaris serve` as a child process against the fake
// provider in this process; one legacy request for 180 current quotes, cold
// (the session's cookie and crumb first) and warm, at once and with a
// provider that takes 0.5 s per answer. Then whole current downloads the way
// the program runs them (batches of 180, 8 at once, 10 s per attempt, 5
// attempts, then rounds that ask again for what came without a line or
// without all values, while a round brings quotes), with the provider
// answering in 0.5 s: 2,000 symbols through the quote endpoint; 180 symbols
// with the quote endpoint refused (every value from the charts, each
// compared with the provider's own); 180 symbols with the cookie host
// unreachable and the web host answering. Prints the times, the provider
// requests and the gateway process's memory.
//   ./build/bench/bench_gateway

#include "fakeprovider.h"

#include "support/settingsstore.h"
#include "support/yield.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <functional>
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

// What a current download of the program got: the line of each symbol
// that came with all its values, and counts.
struct Download {
    qint64 ms = 0;
    int exact = 0, incomplete = 0, rounds = 0, requests = 0, closed = 0;
    QHash<QString, QByteArray> lines;
};

// A current download as the program runs it: batches of 180, at most 8 in
// flight, each attempt given 10 s and up to 5 attempts with the same URL;
// then rounds that ask again for the symbols that came without a line or
// with a value not available, while a round brings quotes.
Download download(const QString& address, const QStringList& symbols, FakeProvider&)
{
    constexpr int kBatch = 180, kInFlight = 8, kAttempts = 5, kTimeoutMs = 10000;
    Download d;
    QElapsedTimer clock;
    clock.start();
    QStringList left = symbols;
    std::vector<std::unique_ptr<QNetworkAccessManager>> clients;
    for (int i = 0; i < kInFlight; ++i) {
        clients.push_back(std::make_unique<QNetworkAccessManager>());
        clients.back()->setProxy(QNetworkProxy::NoProxy);
    }
    while (!left.isEmpty() && d.rounds < 30) {
        ++d.rounds;
        std::deque<QStringList> batches;
        for (qsizetype i = 0; i < left.size(); i += kBatch)
            batches.push_back(left.mid(i, kBatch));
        int running = 0, gained = 0;
        std::vector<bool> busy(kInFlight, false);
        std::function<void(int, QStringList, int)> send = [&](int slot, QStringList batch, int attempt) {
            ++d.requests;
            QNetworkReply* reply = clients[slot]->get(
                QNetworkRequest(QUrl(QStringLiteral("http://%1/d/quotes.csv?s=%2+&f=sd1t1ohgl1vn&e=.csv")
                                         .arg(address, batch.join(QLatin1Char('+'))))));
            QTimer::singleShot(kTimeoutMs, reply, &QNetworkReply::abort);
            QObject::connect(reply, &QNetworkReply::finished, reply, [&, slot, batch, attempt, reply] {
                const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray();
                reply->deleteLater();
                if (!body.contains("\r\n") && attempt < kAttempts) {
                    ++d.closed;
                    send(slot, batch, attempt + 1);
                    return;
                }
                for (const QByteArray& raw : body.split('\n')) {
                    const QByteArray line = raw.trimmed();
                    if (!line.startsWith('"'))
                        continue;
                    const QString symbol = QString::fromLatin1(line.mid(1, line.indexOf('"', 1) - 1));
                    if (line.contains("N/A")) {
                        ++d.incomplete;
                        continue;
                    }
                    if (!d.lines.contains(symbol)) {
                        d.lines.insert(symbol, line);
                        ++gained;
                    }
                }
                busy[slot] = false;
                --running;
            });
        };
        while (!batches.empty() || running > 0) {
            for (int slot = 0; slot < kInFlight && !batches.empty(); ++slot) {
                if (busy[slot])
                    continue;
                busy[slot] = true;
                ++running;
                send(slot, batches.front(), 1);
                batches.pop_front();
            }
            waitUntil([&] { return running == 0 || (!batches.empty() && running < kInFlight); }, 600000);
        }
        QStringList still;
        for (const QString& s : std::as_const(left)) {
            if (!d.lines.contains(s))
                still << s;
        }
        left = still;
        if (gained == 0)
            break;
    }
    d.exact = int(d.lines.size());
    d.ms = clock.elapsed();
    return d;
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
    for (int i = 0; i < 2000; ++i)
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

    std::printf("gateway memory: VmRSS %ld kB, VmHWM %ld kB\n", statusKb(pid, "VmRSS:"), statusKb(pid, "VmHWM:"));

    // 2,000 symbols of a warm session, as the program downloads them.
    QStringList many;
    for (int i = 0; i < 2000; ++i)
        many << QStringLiteral("D%1").arg(i, 4, 10, QLatin1Char('0'));
    waitUntil([] { return false; }, 2500);
    provider.setDelay(500);
    provider.clearRequests();
    Download d = download(address, many, provider);
    std::printf("%-34s %6lld ms, %4d exact of %d, %d incomplete, %d round(s), %d requests; provider: %d "
                "(quote calls %d, charts %d; goal 40 calls, < 25 s)\n",
                "2000 symbols, quote endpoint, 0.5 s", d.ms, d.exact, int(many.size()), d.incomplete, d.rounds,
                d.requests, int(provider.requests().size()), provider.count("/v7/finance/quote"),
                provider.count("/v8/"));
    std::printf("gateway memory: VmRSS %ld kB, VmHWM %ld kB\n", statusKb(pid, "VmRSS:"), statusKb(pid, "VmHWM:"));
    serve.terminate();
    serve.waitForFinished(10000);

    // The quote endpoint refused (the crumb comes back as a page): every
    // price from the day's bar of each symbol's chart, at the provider's
    // pace, far longer than one attempt of the program lasts.
    {
        QStringList symbols;
        for (int i = 0; i < 180; ++i)
            symbols << QStringLiteral("F%1").arg(i, 4, 10, QLatin1Char('0'));
        provider.setFault("/v1/test/getcrumb", FakeProvider::Fault::HtmlPage);
        provider.setDelay(500);
        QProcess fallback;
        const QString at = startServe(fallback);
        provider.clearRequests();
        d = download(at, symbols, provider);
        // Every field against the provider's own record.
        int same = 0;
        for (int i = 0; i < 180; ++i) {
            const double price = 10 + i;
            const QByteArray want = QStringLiteral("\"%1\",\"2/14/2025\",\"4:00pm\",%2,%3,%4,%5,%6,\"%1 Corp\"")
                                        .arg(symbols[i])
                                        .arg(price - 1, 0, 'f', 2)
                                        .arg(price + 1, 0, 'f', 2)
                                        .arg(price - 2, 0, 'f', 2)
                                        .arg(price, 0, 'f', 2)
                                        .arg(1000 + i)
                                        .toLatin1();
            same += d.lines.value(symbols[i]) == want ? 1 : 0;
        }
        std::printf("%-34s %6lld ms, %3d exact, %d equal to the provider's, %d incomplete, %d round(s), %d requests "
                    "(%d attempts closed unanswered); provider: %d (charts %d, quote calls %d)\n",
                    "180 symbols, quote endpoint refused", d.ms, d.exact, same, d.incomplete, d.rounds, d.requests,
                    d.closed, int(provider.requests().size()), provider.count("/v8/"),
                    provider.count("/v7/finance/quote"));
        fallback.terminate();
        fallback.waitForFinished(10000);
    }

    // The cookie host blocked by the resolver, the web host answering: the
    // quote endpoint serves, no chart is needed.
    {
        QStringList symbols;
        for (int i = 0; i < 180; ++i)
            symbols << QStringLiteral("A%1").arg(i, 4, 10, QLatin1Char('0'));
        provider.clearFaults();
        store::write(QStringLiteral("LiveCookieHost"), QStringLiteral("http://127.0.0.1:1"));
        store::sync();
        provider.setDelay(500);
        QProcess blocked;
        const QString at = startServe(blocked);
        provider.clearRequests();
        d = download(at, symbols, provider);
        std::printf("%-34s %6lld ms, %3d exact, %d round(s); provider: %d (web page %d, quote calls %d, charts %d)\n",
                    "180 symbols, cookie host blocked", d.ms, d.exact, d.rounds, int(provider.requests().size()),
                    provider.count("/web/"), provider.count("/v7/finance/quote"), provider.count("/v8/"));
        blocked.terminate();
        blocked.waitForFinished(10000);
    }
    return 0;
}
