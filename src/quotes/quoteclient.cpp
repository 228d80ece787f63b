#include "quotes/quoteclient.h"

#include "quotes/fetch.h"
#include "support/state.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>

namespace {

// Qt opens at most this many connections from one manager to one host and
// queues what comes beyond.
constexpr int kRequestsPerManager = 6;

// The system's proxy settings, but never for the loopback host (the built-in
// gateway, a local test server).
class LoopbackDirect : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override
    {
        const QString host = query.peerHostName();
        const QHostAddress address(host);
        if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
            (!address.isNull() && address.isLoopback()))
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return QNetworkProxyFactory::proxyForQuery(query);
    }
};

int running(const QNetworkAccessManager& manager)
{
    int n = 0;
    for (const QNetworkReply* reply : manager.findChildren<QNetworkReply*>(Qt::FindDirectChildrenOnly)) {
        if (reply->isRunning())
            ++n;
    }
    return n;
}

bool isGateway(const QString& host)
{
    const QString& gateway = state().gatewayAddress;
    return !gateway.isEmpty() && host.trimmed() == gateway;
}

}  // namespace

void FetchRecord::note(const FetchResult& result)
{
    switch (result.problem) {
    case FetchProblem::None:
        if (!result.aborted)
            ++answered_;
        break;
    case FetchProblem::Unreachable:
        ++unreachable_;
        lastUnreachable_ = result.problemText;
        break;
    case FetchProblem::Unusable:
        ++unusable_;
        lastUnusable_ = result.problemText;
        break;
    }
}

QString FetchRecord::problem() const
{
    if (unusable_ > 0)
        return lastUnusable_;
    if (unreachable_ > 0)
        return lastUnreachable_;
    return {};
}

QuoteClient::QuoteClient(const CancelToken* cancel, QObject* parent) : QObject(parent), cancel_(cancel) {}

QuoteClient::~QuoteClient()
{
    emit closing();
    // The managers' replies go with them; nothing is told of that any more.
    for (auto& manager : managers_)
        manager->disconnect();
}

QNetworkAccessManager& QuoteClient::network()
{
    for (auto& manager : managers_) {
        if (running(*manager) < kRequestsPerManager)
            return *manager;
    }
    auto made = std::make_unique<QNetworkAccessManager>();
    made->setProxyFactory(new LoopbackDirect);
    managers_.push_back(std::move(made));
    return *managers_.back();
}

bool QuoteClient::asksAgainForLeftOut() const { return isGateway(settings().quoteHost); }

bool QuoteClient::chartHostKeepsItsPace() const { return isGateway(settings().chartHost); }
