#include "gatewayfixture.h"

#include "quotes/transfer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

void GatewayTest::SetUp()
{
    QuotarisTest::SetUp();
    provider.useInStore();
}

void GatewayTest::TearDown()
{
    gateway.reset();
    QuotarisTest::TearDown();
}

void GatewayTest::startGateway(const std::function<void(GatewayConfig&)>& adjust)
{
    GatewayConfig config = GatewayConfig::fromSettings();
    if (adjust)
        adjust(config);
    gateway = std::make_unique<LiveGateway>(config);
    QString error;
    ASSERT_TRUE(gateway->start(0, &error)) << qPrintable(error);
}

GatewayTest::Answer GatewayTest::get(const QString& pathAndQuery, int timeoutMs)
{
    QNetworkAccessManager manager;
    const QUrl url = wireUrl(QStringLiteral("http://") + gateway->address() + pathAndQuery);
    configureProxy(manager, url);
    QElapsedTimer clock;
    clock.start();
    QNetworkReply* reply = manager.get(QNetworkRequest(url));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    Answer a;
    a.ms = clock.elapsed();
    if (!reply->isFinished()) {
        ADD_FAILURE() << "no answer within " << timeoutMs << " ms: " << qPrintable(pathAndQuery);
        reply->abort();
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    a.status = status.isValid() ? status.toInt() : 0;
    a.body = reply->readAll();
    delete reply;
    return a;
}
