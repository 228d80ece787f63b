#include "gateway/livehosts.h"

#include "gateway/livegateway.h"
#include "support/state.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace livehosts {

namespace {

std::unique_ptr<LiveGateway>& processGateway()
{
    static std::unique_ptr<LiveGateway> gateway;
    return gateway;
}

// Hands a changed request time-out (Options window, option command) to the
// gateway while it runs, on the thread that owns the settings.
QPointer<QTimer>& followTimer()
{
    static QPointer<QTimer> timer;
    return timer;
}

constexpr int kFollowMs = 1000;

}  // namespace

bool isLive(const QString& host) { return host.trimmed().compare(QLatin1String("live"), Qt::CaseInsensitive) == 0; }

bool resolve(QString* error)
{
    ProgramSettings& s = settings();
    QString* hosts[] = {&s.quoteHost, &s.quoteHostAU, &s.quoteHostSG, &s.chartHost};
    bool any = false;
    for (const QString* h : hosts)
        any = any || isLive(*h);
    if (!any)
        return true;
    auto& gateway = processGateway();
    if (!gateway) {
        auto made = std::make_unique<LiveGateway>(GatewayConfig::fromSettings());
        if (!made->start(0, error))
            return false;
        gateway = std::move(made);
        auto* timer = new QTimer(QCoreApplication::instance());
        QObject::connect(timer, &QTimer::timeout, timer, [] {
            if (LiveGateway* g = processGateway().get())
                g->setRequestTimeout(settings().teller2);
        });
        timer->start(kFollowMs);
        followTimer() = timer;
        // Whoever forgets to stop it: its thread ends while the application
        // object still exists.
        qAddPostRoutine(&stop);
    }
    gateway->setRequestTimeout(settings().teller2);
    for (QString* h : hosts) {
        if (isLive(*h))
            *h = gateway->address();
    }
    return true;
}

bool isGateway(const QString& host)
{
    const LiveGateway* gateway = processGateway().get();
    return gateway && host.trimmed() == gateway->address();
}

LiveGateway* running() { return processGateway().get(); }

void stop()
{
    delete followTimer().data();
    processGateway().reset();
}

}  // namespace livehosts
