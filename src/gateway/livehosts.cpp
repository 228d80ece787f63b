#include "gateway/livehosts.h"

#include "gateway/livegateway.h"
#include "support/state.h"

#include <QCoreApplication>
#include <memory>

namespace livehosts {

namespace {

std::unique_ptr<LiveGateway>& processGateway()
{
    static std::unique_ptr<LiveGateway> gateway;
    return gateway;
}

}  // namespace

bool isLive(const QString& host)
{
    return host.trimmed().compare(QLatin1String("live"), Qt::CaseInsensitive) == 0;
}

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
        // Whoever forgets to stop it: its thread ends while the application
        // object still exists.
        qAddPostRoutine(&stop);
    }
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

LiveGateway* running()
{
    return processGateway().get();
}

void stop()
{
    processGateway().reset();
}

}  // namespace livehosts
