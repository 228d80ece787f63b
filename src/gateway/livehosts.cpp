#include "gateway/livehosts.h"

#include "gateway/livegateway.h"
#include "support/state.h"

namespace {
constexpr int kFollowMs = 1000;
}  // namespace

LiveHosts::LiveHosts()
{
    follow_.setInterval(kFollowMs);
    QObject::connect(&follow_, &QTimer::timeout, [this] {
        if (gateway_)
            gateway_->setRequestTimeout(settings().teller2);
    });
}

LiveHosts::~LiveHosts() { stop(); }

bool LiveHosts::isLive(const QString& host)
{
    return host.trimmed().compare(QLatin1String("live"), Qt::CaseInsensitive) == 0;
}

bool LiveHosts::resolve(QString* error)
{
    ProgramSettings& s = settings();
    QString* hosts[] = {&s.quoteHost, &s.quoteHostAU, &s.quoteHostSG, &s.chartHost};
    bool any = false;
    for (const QString* h : hosts)
        any = any || isLive(*h);
    if (!any)
        return true;
    if (!gateway_) {
        auto made = std::make_unique<LiveGateway>(GatewayConfig::fromSettings());
        if (!made->start(0, error))
            return false;
        gateway_ = std::move(made);
        follow_.start();
    }
    gateway_->setRequestTimeout(settings().teller2);
    // The quote client asks whether a host is the gateway.
    state().gatewayAddress = gateway_->address();
    for (QString* h : hosts) {
        if (isLive(*h))
            *h = gateway_->address();
    }
    return true;
}

void LiveHosts::stop()
{
    follow_.stop();
    if (!gateway_)
        return;
    if (state().gatewayAddress == gateway_->address())
        state().gatewayAddress.clear();
    gateway_.reset();
}
