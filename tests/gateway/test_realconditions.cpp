#include "gatewayfixture.h"

#include "support/settingsstore.h"
#include "support/yield.h"

#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>

using Fault = FakeProvider::Fault;

namespace {

QString quotesPath(const QStringList& symbols)
{
    return QStringLiteral("/d/quotes.csv?s=") + symbols.join(QLatin1Char('+')) +
           QStringLiteral("+&f=sd1t1ohgl1vn&e=.csv");
}

QString tablePath(const QString& symbol)
{
    // 10 to 14 February 2025: the day of the fake's bars.
    return QStringLiteral("/table.csv?s=%1&a=1&b=10&c=2025&d=1&e=14&f=2025&y=0&g=d&ignore=.csv").arg(symbol.toLower());
}

QStringList made(FakeProvider& provider, const QString& prefix, int n)
{
    QStringList symbols;
    for (int i = 0; i < n; ++i) {
        symbols << prefix + QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0'));
        provider.addQuote(symbols.last(), 10 + i, 1000 + i, 1739566800);
    }
    return symbols;
}

void idle(int ms)
{
    waitUntil([] { return false; }, ms);
}

// What the gateway said on its log, for the tests that count it.
QMutex logged;
QStringList said;
void keep(QtMsgType, const QMessageLogContext&, const QString& text)
{
    QMutexLocker lock(&logged);
    said << text;
}

}  // namespace

class RealConditionsTest : public GatewayTest {
protected:
    // Requests at once, as several loaders or windows send them; the
    // answers in the order of `paths`.
    QVector<Answer> getAll(const QStringList& paths, int timeoutMs = 60000)
    {
        // A client each: one client keeps a few connections to a host only.
        std::vector<std::unique_ptr<QNetworkAccessManager>> clients;
        QVector<Answer> answers(paths.size());
        int finished = 0;
        for (qsizetype i = 0; i < paths.size(); ++i) {
            clients.push_back(std::make_unique<QNetworkAccessManager>());
            clients.back()->setProxy(QNetworkProxy::NoProxy);
            QNetworkReply* reply =
                clients.back()->get(QNetworkRequest(QUrl(QStringLiteral("http://") + gateway->address() + paths[i])));
            QObject::connect(reply, &QNetworkReply::finished, reply, [&, i, reply] {
                const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                answers[i].status = status.isValid() ? status.toInt() : 0;
                answers[i].body = reply->readAll();
                ++finished;
                reply->deleteLater();
            });
        }
        EXPECT_TRUE(waitUntil([&] { return finished == paths.size(); }, timeoutMs));
        return answers;
    }

    // A request head as it is sent, and the status of the answer (0: none).
    int raw(const QByteArray& head)
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, gateway->port());
        if (!socket.waitForConnected(5000))
            return -1;
        socket.write(head);
        QByteArray answer;
        waitUntil(
            [&] {
                answer += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            15000);
        answer += socket.readAll();
        return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
    }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(gateway->port()); }
};

TEST_F(RealConditionsTest, WithoutASessionEveryPriceIsTheProvidersAndWhatIsLeftIsAskedAgain)
{
    // No crumb to be had: every open comes from the day's bar of the
    // symbol's chart (spark answers have none), far more than one attempt
    // of the program lasts. Each attempt gets what is in by its budget; the
    // program asks for the rest again, and the gateway has kept on.
    const QStringList symbols = made(provider, QStringLiteral("C"), 40);
    provider.setFault("/v1/test/getcrumb", Fault::HtmlPage);
    provider.setDelay(300);
    startGateway([](GatewayConfig& c) {
        c.budgetMs = 1000;
        c.ratePerSec = 10;
    });
    QStringList left = symbols;
    QHash<QString, QByteArray> got;
    int attempts = 0, parts = 0;
    while (!left.isEmpty() && attempts < 40) {
        ++attempts;
        const Answer a = get(quotesPath(left));
        if (a.status != 200)
            continue;
        ++parts;
        for (const QByteArray& line : a.body.split('\n')) {
            const QString symbol = QString::fromLatin1(line.mid(1, 4));
            if (!line.isEmpty() && left.removeOne(symbol))
                got.insert(symbol, line);
        }
    }
    EXPECT_GE(parts, 3);
    ASSERT_TRUE(left.isEmpty()) << qPrintable(left.join(QLatin1Char(' ')));
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(got.value(symbols[i]),
                  QStringLiteral("\"%1\",\"2/14/2025\",\"4:00pm\",%2.00,%3.00,%4.00,%5.00,%6,\"%1 Corp\"\r")
                      .arg(symbols[i])
                      .arg(9 + i)
                      .arg(11 + i)
                      .arg(8 + i)
                      .arg(10 + i)
                      .arg(1000 + i)
                      .toLatin1());
    }
    // Each symbol asked once, whatever the number of attempts.
    EXPECT_EQ(provider.count("/v8/"), 40);
    EXPECT_EQ(provider.count("/v7/finance/spark"), 0);
}

TEST_F(RealConditionsTest, NamesAloneComeFromTheSparkEndpoint)
{
    const QStringList symbols = made(provider, QStringLiteral("N"), 30);
    provider.setFault("/v1/test/getcrumb", Fault::HtmlPage);
    startGateway();
    const Answer a =
        get(QStringLiteral("/d/quotes.csv?s=") + symbols.join(QLatin1Char('+')) + QStringLiteral("+&h=0&f=snx&e=.csv"));
    ASSERT_EQ(a.status, 200);
    EXPECT_TRUE(a.body.startsWith("\"N000\",\"N000 Corp\",\"NYSE\"\r\n")) << a.body.constData();
    EXPECT_EQ(a.body.count("\r\n"), 30);
    EXPECT_EQ(provider.count("/v7/finance/spark"), 2);
    EXPECT_EQ(provider.count("/v8/"), 0);
}

TEST_F(RealConditionsTest, RequestsArrivingTogetherShareTheQuoteCalls)
{
    const QStringList symbols = made(provider, QStringLiteral("T"), 200);
    startGateway();
    // Ten loaders of 20 symbols each: four calls of 50, not ten.
    QStringList paths;
    for (int i = 0; i < 10; ++i)
        paths << quotesPath(symbols.mid(i * 20, 20));
    const QVector<Answer> answers = getAll(paths);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(answers[i].status, 200);
        EXPECT_EQ(answers[i].body.count("\r\n"), 20);
        EXPECT_TRUE(answers[i].body.startsWith("\"" + symbols[i * 20].toLatin1() + "\","));
    }
    EXPECT_EQ(provider.count("/v7/finance/quote"), 4);
    EXPECT_EQ(provider.count("/v8/"), 0);
}

TEST_F(RealConditionsTest, ABlockedCookieHostTheWebHostAndThePortalGiveTheCookie)
{
    // The cookie host blocked by the resolver: the web host's quote page
    // sets the cookie, with tens of kilobytes of headers.
    store::write(QStringLiteral("LiveCookieHost"), QStringLiteral("http://127.0.0.1:1"));
    startGateway();
    const QByteArray aapl = "\"AAPL\",\"2/14/2025\",\"4:00pm\",241.07,245.41,241.00,244.60,40896227,\"Apple Inc.\"\r\n";
    EXPECT_EQ(get(quotesPath({QStringLiteral("AAPL")})).body, aapl);
    EXPECT_EQ(provider.count("/web/quote/AAPL/"), 1);
    EXPECT_EQ(provider.count("/web/search"), 0);  // its search form is no consent form
    EXPECT_EQ(provider.count("/portal/"), 0);
    EXPECT_EQ(provider.count("/v7/finance/quote"), 1);
    EXPECT_EQ(provider.count("/v8/"), 0);
    for (const FakeProvider::Request& r : provider.requests()) {
        if (r.path == "/v1/test/getcrumb") {
            EXPECT_TRUE(r.cookie.contains("A3=d=webcookie")) << r.cookie.constData();
        }
    }

    // A cookie host that sets no cookie, a web host whose page goes through
    // a consent flow of redirects only: followed with one cookie jar.
    gateway.reset();
    provider.clearRequests();
    store::write(QStringLiteral("LiveCookieHost"), provider.base() + QStringLiteral("/fc"));
    store::sync();
    provider.cookieHostWithoutCookie(true);
    provider.webConsentFlow(true);
    startGateway();
    EXPECT_EQ(get(quotesPath({QStringLiteral("AAPL")})).body, aapl);
    EXPECT_EQ(provider.count("/fc"), 1);
    EXPECT_EQ(provider.count("/guce/"), 1);
    EXPECT_EQ(provider.count("/web/quote/AAPL/"), 2);
    EXPECT_EQ(provider.count("/v7/finance/quote"), 1);

    // Web host down too: the portal.
    gateway.reset();
    provider.clearRequests();
    provider.setFault("/web/", Fault::ServerError);
    startGateway();
    EXPECT_EQ(get(quotesPath({QStringLiteral("AAPL")})).body, aapl);
    EXPECT_EQ(provider.count("/portal/"), 1);
    EXPECT_EQ(provider.count("/v7/finance/quote"), 1);
}

TEST_F(RealConditionsTest, NoPlaceGivesACookieSoQuotesComeFromTheChartsForAWhile)
{
    made(provider, QStringLiteral("K"), 3);
    provider.setFault("/fc", Fault::ServerError);
    for (const char* key : {"LiveWebHost", "LivePortalHost"})
        store::write(QLatin1String(key), QStringLiteral("http://127.0.0.1:1"));
    store::sync();
    said.clear();
    qInstallMessageHandler(keep);
    startGateway();
    const Answer a = get(quotesPath({QStringLiteral("K000"), QStringLiteral("K001")}));
    const Answer b = get(quotesPath({QStringLiteral("K002")}));
    qInstallMessageHandler(nullptr);
    EXPECT_EQ(a.status, 200);
    EXPECT_TRUE(a.body.startsWith("\"K000\",\"2/14/2025\",\"4:00pm\",9.00,11.00,8.00,10.00,1000,"))
        << a.body.constData();
    EXPECT_EQ(b.status, 200);
    // Asked twice (one retry), then left alone; said once.
    EXPECT_EQ(provider.count("/fc"), 2);
    EXPECT_EQ(provider.count("/v1/test/getcrumb"), 0);
    EXPECT_EQ(provider.count("/v8/"), 3);
    QMutexLocker lock(&logged);
    EXPECT_EQ(said.filter(QStringLiteral("hands out the provider's cookie")).size(), 1)
        << qPrintable(said.join(QLatin1Char('\n')));
}

TEST_F(RealConditionsTest, ConsentFormIsAgreedToAndTheQuoteEndpointServes)
{
    provider.requireConsent(true);
    startGateway();
    const Answer a = get(quotesPath({QStringLiteral("AAPL")}));
    EXPECT_EQ(a.body, "\"AAPL\",\"2/14/2025\",\"4:00pm\",241.07,245.41,241.00,244.60,40896227,\"Apple Inc.\"\r\n");
    EXPECT_TRUE(provider.consentGiven());
    EXPECT_EQ(provider.count("/v7/finance/quote"), 1);
    // The page's hidden fields, with the agreement, posted once.
    int posts = 0;
    for (const FakeProvider::Request& r : provider.requests()) {
        if (r.method != "POST")
            continue;
        ++posts;
        EXPECT_EQ(r.path, "/consent/collect");
        EXPECT_EQ(r.body, "csrfToken=tok%26en%3D1&sessionId=3_cc-session&agree=agree");
    }
    EXPECT_EQ(posts, 1);
}

TEST_F(RealConditionsTest, ConsentThatDoesNotTakeIsDeclinedThenTheWebHostServes)
{
    provider.setFault("/fc", Fault::Consent);  // redirects whatever is posted
    startGateway();
    const Answer a = get(quotesPath({QStringLiteral("AAPL")}));
    EXPECT_EQ(a.body, "\"AAPL\",\"2/14/2025\",\"4:00pm\",241.07,245.41,241.00,244.60,40896227,\"Apple Inc.\"\r\n");
    // Agreed, then declined, each once; then the web host's cookie.
    QList<QByteArray> posted;
    for (const FakeProvider::Request& r : provider.requests()) {
        if (r.method == "POST")
            posted << r.body;
    }
    EXPECT_EQ(posted, (QList<QByteArray>{"csrfToken=tok%26en%3D1&sessionId=3_cc-session&agree=agree",
                                         "csrfToken=tok%26en%3D1&sessionId=3_cc-session&reject=reject"}));
    EXPECT_EQ(provider.count("/fc"), 3);
    EXPECT_EQ(provider.count("/web/quote/AAPL/"), 1);
    EXPECT_EQ(get(quotesPath({QStringLiteral("BABA")})).status, 200);
    EXPECT_EQ(provider.count("/consent/collect"), 2);
    EXPECT_EQ(provider.count("/fc"), 3);
    EXPECT_EQ(provider.count("/v7/finance/quote"), 2);
}

TEST_F(RealConditionsTest, AShortFixedUserAgentAndOneOtherAfterATooManyRequestsAtTheStart)
{
    // No browser version to age.
    const QRegularExpression browser(QStringLiteral("(Chrome|Firefox|Safari|AppleWebKit|Gecko|Edg|Version)/"));
    EXPECT_FALSE(browser.match(QString::fromLatin1(GatewayConfig::defaultUserAgent())).hasMatch());
    EXPECT_EQ(GatewayConfig::fromSettings().userAgent, GatewayConfig::defaultUserAgent());

    // The first request refused for its identity: the other one, kept.
    provider.refuseUserAgent(GatewayConfig::defaultUserAgent());
    startGateway();
    const Answer a = get(quotesPath({QStringLiteral("AAPL")}));
    EXPECT_EQ(a.status, 200);
    EXPECT_TRUE(a.body.startsWith("\"AAPL\",\"2/14/2025\",\"4:00pm\",241.07,"));
    ASSERT_GE(provider.requests().size(), 4);
    EXPECT_EQ(provider.requests()[0].userAgent, GatewayConfig::defaultUserAgent());
    for (qsizetype i = 1; i < provider.requests().size(); ++i)
        EXPECT_EQ(provider.requests()[i].userAgent, GatewayConfig::defaultAlternateUserAgent());

    // The user's own, from the settings, without a new build.
    gateway.reset();
    provider.clearRequests();
    provider.refuseUserAgent(QByteArray());
    store::write(QStringLiteral("LiveUserAgent"), QStringLiteral("Mozilla/5.0 (mine)"));
    store::sync();
    startGateway();
    EXPECT_EQ(get(quotesPath({QStringLiteral("BABA")})).status, 200);
    ASSERT_FALSE(provider.requests().isEmpty());
    for (const FakeProvider::Request& r : provider.requests())
        EXPECT_EQ(r.userAgent, "Mozilla/5.0 (mine)");
}

TEST_F(RealConditionsTest, OneBurstOfTooManyRequestsIsOnePause)
{
    const QStringList symbols = made(provider, QStringLiteral("H"), 6);
    provider.holdAnswers(true);
    provider.setFault("/v8/", Fault::Throttle, 4);
    startGateway([](GatewayConfig& c) {
        c.pauseMs = 1000;
        c.maxPauseMs = 60000;
        c.alternateUserAgent.clear();  // the identity is not what is refused here
    });
    // Four history downloads in flight, all throttled.
    QNetworkAccessManager client;
    client.setProxy(QNetworkProxy::NoProxy);
    int finished = 0;
    for (int i = 0; i < 4; ++i) {
        QNetworkReply* reply =
            client.get(QNetworkRequest(QUrl(QStringLiteral("http://") + gateway->address() + tablePath(symbols[i]))));
        QObject::connect(reply, &QNetworkReply::finished, reply, [&finished, reply] {
            EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 503);
            ++finished;
            reply->deleteLater();
        });
    }
    ASSERT_TRUE(waitUntil([&] { return provider.requests().size() == 4; }, 10000));
    provider.holdAnswers(false);
    provider.releaseAnswers();
    ASSERT_TRUE(waitUntil([&] { return finished == 4; }, 10000));

    // One step of 1 s, not 1 + 2 + 4 + 8: asked again after it. A 429
    // after the pause has ended is the next step, 2 s.
    idle(1300);
    provider.setFault("/v8/", Fault::Throttle, 1);
    EXPECT_EQ(get(tablePath(symbols[1])).status, 503);
    EXPECT_EQ(provider.requests().size(), 5);
    idle(1300);
    const qsizetype asked = provider.requests().size();
    EXPECT_EQ(get(tablePath(symbols[1])).status, 503);
    EXPECT_EQ(provider.requests().size(), asked);
    idle(1000);
    EXPECT_EQ(get(tablePath(symbols[1])).status, 200);

    // Answered since: back to 1 s, but the provider's Retry-After counts.
    // (Twice: the chart of a symbol answered before is asked to tell the
    // provider's 429 from one symbol's, and meets it too.)
    provider.setRetryAfter("3");
    provider.setFault("/v8/", Fault::Throttle, 2);
    EXPECT_EQ(get(tablePath(symbols[2])).status, 503);
    idle(1500);
    EXPECT_EQ(get(tablePath(symbols[2])).status, 503);
    idle(1800);
    EXPECT_EQ(get(tablePath(symbols[2])).status, 200);
}

TEST_F(RealConditionsTest, OnlyThisMachinesProgramsAreServed)
{
    startGateway();
    const QByteArray line = "GET /q?s=NVDA&d=v1 HTTP/1.1\r\n";
    EXPECT_EQ(raw(line + "Host: " + host() + "\r\n\r\n"), 200);
    const QByteArray port = QByteArray::number(gateway->port());
    EXPECT_EQ(raw(line + "Host: localhost:" + port + "\r\n\r\n"), 200);
    EXPECT_EQ(raw(line + "Host: [::1]:" + port + "\r\n\r\n"), 200);
    EXPECT_EQ(
        raw(line + "Host: " + host() + "\r\nOrigin: http://" + host() + "\r\nSec-Fetch-Site: same-origin\r\n\r\n"),
        200);
    const int asked = static_cast<int>(provider.requests().size());

    // A page whose name was turned to 127.0.0.1, a wrong port, no name.
    EXPECT_EQ(raw(line + "Host: quotes.attacker.example:" + port + "\r\n\r\n"), 400);
    EXPECT_EQ(raw(line + "Host: 127.0.0.1:1\r\n\r\n"), 400);
    EXPECT_EQ(raw(line + "\r\n"), 400);
    EXPECT_EQ(raw(line + "Host: " + host() + "\r\nHost: evil.example\r\n\r\n"), 400);
    // A browser's request from another site.
    EXPECT_EQ(raw(line + "Host: " + host() + "\r\nOrigin: http://evil.example\r\n\r\n"), 403);
    EXPECT_EQ(raw(line + "Host: " + host() + "\r\nSec-Fetch-Site: cross-site\r\n\r\n"), 403);
    EXPECT_EQ(raw(line + "Host: " + host() + "\r\nOrigin: null\r\n\r\n"), 403);
    // Two names of the page: a foreign one refuses whichever comes last.
    EXPECT_EQ(
        raw(line + "Host: " + host() + "\r\nOrigin: http://evil.example\r\nOrigin: http://" + host() + "\r\n\r\n"),
        403);
    EXPECT_EQ(
        raw(line + "Host: " + host() + "\r\nOrigin: http://" + host() + "\r\nOrigin: http://evil.example\r\n\r\n"),
        403);
    // Oversized heads, however they come.
    EXPECT_EQ(raw("GET /q?s=" + QByteArray(9000, 'A') + " HTTP/1.1\r\nHost: " + host() + "\r\n\r\n"), 400);
    EXPECT_EQ(raw(line + "Host: " + host() + "\r\nX-Filler: " + QByteArray(9000, 'x') + "\r\n\r\n"), 400);
    EXPECT_EQ(raw("GET /q?s=" + QByteArray(9000, 'A')), 400);

    // More than the program ever asks at once.
    QStringList many;
    for (int i = 0; i < 181; ++i)
        many << QStringLiteral("Z%1").arg(i);
    EXPECT_EQ(get(quotesPath(many)).status, 400);
    EXPECT_EQ(get(QStringLiteral("/l?m=&s=") + QString(201, QLatin1Char('x')) + QStringLiteral("&b=0")).status, 400);
    EXPECT_EQ(provider.requests().size(), asked);
}

TEST_F(RealConditionsTest, WorkForClientsThatHaveGoneIsDropped)
{
    const QStringList symbols = made(provider, QStringLiteral("G"), 10);
    provider.setDelay(1000);
    startGateway();
    std::vector<std::unique_ptr<QNetworkAccessManager>> clients;
    QList<QNetworkReply*> replies;
    for (const QString& symbol : symbols) {
        clients.push_back(std::make_unique<QNetworkAccessManager>());
        clients.back()->setProxy(QNetworkProxy::NoProxy);
        replies << clients.back()->get(
            QNetworkRequest(QUrl(QStringLiteral("http://") + gateway->address() + tablePath(symbol))));
    }
    ASSERT_TRUE(waitUntil([&] { return provider.requests().size() >= 4; }, 10000));
    idle(100);
    for (QNetworkReply* r : replies)
        r->abort();
    // Without the clients, the six still waiting for their turn are not
    // asked; at two a second they would all be out within 3 s.
    idle(3500);
    EXPECT_EQ(provider.requests().size(), 4);
    qDeleteAll(replies);

    // The quotes of a batch nobody waits for any more: its charts stop too.
    provider.clearRequests();
    provider.setDelay(300);
    provider.setFault("/v1/test/getcrumb", Fault::HtmlPage);
    provider.sparkWithoutDayFigures(true);
    const QStringList batch = made(provider, QStringLiteral("Q"), 30);
    QNetworkReply* reply =
        clients.front()->get(QNetworkRequest(QUrl(QStringLiteral("http://") + gateway->address() + quotesPath(batch))));
    ASSERT_TRUE(waitUntil([&] { return provider.count("/v8/") >= 1; }, 15000));
    reply->abort();
    delete reply;
    // At most the four in flight when it went; at two a second, ten more
    // would have followed meanwhile.
    idle(5000);
    EXPECT_LE(provider.count("/v8/"), 5);
}

TEST_F(RealConditionsTest, OneSymbolsTooManyRequestsPausesNothing)
{
    const QStringList symbols = made(provider, QStringLiteral("H"), 8);
    startGateway();
    EXPECT_EQ(get(tablePath(symbols[0])).status, 200);

    // H001 alone is refused (the provider answers others): it fails, each
    // time it is asked, and the others go on without a pause.
    provider.setFault("/v8/finance/chart/H001", Fault::Throttle);
    EXPECT_EQ(get(tablePath(symbols[1])).status, 503);
    const Answer other = get(tablePath(symbols[2]));
    EXPECT_EQ(other.status, 200);
    EXPECT_LT(other.ms, 5000);
    EXPECT_EQ(get(tablePath(symbols[1])).status, 503);

    // In a batch of current quotes: the others' lines, none for H001.
    provider.refuseCrumbs(true);
    const Answer batch = get(quotesPath(symbols.mid(1, 3)));
    EXPECT_EQ(batch.status, 200);
    EXPECT_FALSE(batch.body.contains("H001"));
    EXPECT_TRUE(batch.body.startsWith("\"H002\",\"2/14/2025\",\"4:00pm\",11.00,")) << batch.body.constData();
    EXPECT_TRUE(batch.body.contains("\"H003\",\"2/14/2025\",\"4:00pm\",12.00,"));

    // When the chart answered before is refused as well, it is the
    // provider's: everything pauses.
    provider.clearFaults();
    provider.setFault("/v8/", Fault::Throttle, 2);
    EXPECT_EQ(get(tablePath(symbols[4])).status, 503);
    const qsizetype asked = provider.requests().size();
    EXPECT_EQ(get(tablePath(symbols[5])).status, 503);
    EXPECT_EQ(provider.requests().size(), asked);
}

TEST_F(RealConditionsTest, ASymbolWhoseQuoteCallIsUnderWayJoinsIt)
{
    const QStringList symbols = made(provider, QStringLiteral("J"), 50);
    startGateway();
    EXPECT_EQ(get(quotesPath({QStringLiteral("AAPL")})).status, 200);  // the session first
    provider.clearRequests();
    provider.setDelay(1000);
    // The same fifty in another order: the first full call goes out at
    // once, the other request's symbols wait for its answer.
    const QStringList reversed(symbols.crbegin(), symbols.crend());
    const QVector<Answer> answers = getAll({quotesPath(symbols), quotesPath(reversed)});
    EXPECT_EQ(answers[0].body.count("\r\n"), 50);
    EXPECT_EQ(answers[1].body.count("\r\n"), 50);
    EXPECT_TRUE(answers[1].body.startsWith("\"J049\",")) << answers[1].body.left(80).constData();
    EXPECT_EQ(provider.count("/v7/finance/quote"), 1);
}

TEST_F(RealConditionsTest, WhatIsNoCrumbIsNeverSentAsOne)
{
    made(provider, QStringLiteral("K"), 1);
    for (const QByteArray& odd : {QByteArray("Too Many Requests"), QByteArray(""), QByteArray("ab cd"),
                                  QByteArray("<html><body>Will be right back</body></html>")}) {
        provider.setCrumb(odd);
        provider.clearRequests();
        startGateway();
        const Answer a = get(quotesPath({QStringLiteral("K000")}));
        EXPECT_TRUE(a.body.startsWith("\"K000\",\"2/14/2025\",\"4:00pm\",9.00,")) << a.body.constData();
        // Each place's cookie tried with its crumb, then the chart.
        EXPECT_EQ(provider.count("/v1/test/getcrumb"), 3) << odd.constData();
        EXPECT_EQ(provider.count("/v7/finance/quote"), 0) << odd.constData();
        gateway.reset();
    }
}
