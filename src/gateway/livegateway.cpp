#include "gateway/livegateway.h"

#include "gateway/historyanswers.h"
#include "gateway/httpserver.h"
#include "gateway/legacypages.h"
#include "gateway/pageanswers.h"
#include "gateway/quoteanswers.h"
#include "gateway/quotesource.h"
#include "gateway/session.h"
#include "gateway/upstream.h"

#include <QSemaphore>

class LiveGateway::Thread : public QThread {
public:
    Thread(const GatewayConfig& config, quint16 wantedPort, std::atomic<int>& sent, const std::atomic<int>& budgetMs)
        : config_(config), wantedPort_(wantedPort), sent_(sent), budgetMs_(budgetMs)
    {
    }

    // Set by run() before `ready` is released.
    quint16 port = 0;
    QString error;
    QSemaphore ready;

protected:
    void run() override
    {
        // Everything lives on this thread's stack and ends with it.
        Upstream upstream(config_, &sent_);
        QuoteSession session(upstream, {config_.cookieHost, config_.webHost, config_.portalHost, config_.liveHost});
        QuoteSource source(upstream, session, config_.quoteCacheMs);
        QuoteAnswers quotes(source, config_.dataFolder);
        HistoryAnswers history(upstream, config_.quoteCacheMs);
        PageAnswers pages(upstream, config_.dataFolder);
        HttpServer server(budgetMs_, [&](const LegacyRequest& r, HttpServer::Respond respond) {
            if (r.path == "/d/quotes.csv")
                quotes.quotes(r, respond);
            else if (r.path == "/d/quotes")
                quotes.members(r, respond);
            else if (r.path == "/table.csv")
                history.table(r, respond);
            else if (r.path == "/q/hp")
                pages.historyPrices(r, respond);
            else if (r.path == "/q")
                pages.quotePage(r, respond);
            else if (r.path == "/l")
                pages.lookup(r, respond);
            else
                respond(legacypages::unknownPath());
        });
        if (!server.listen(wantedPort_, &error)) {
            ready.release();
            return;
        }
        port = server.port();
        ready.release();
        exec();
    }

private:
    GatewayConfig config_;
    quint16 wantedPort_;
    std::atomic<int>& sent_;
    const std::atomic<int>& budgetMs_;
};

LiveGateway::LiveGateway(GatewayConfig config) : config_(std::move(config)), budgetMs_(config_.budgetMs) {}

LiveGateway::~LiveGateway()
{
    if (thread_) {
        thread_->quit();
        thread_->wait();
    }
}

bool LiveGateway::start(quint16 port, QString* error)
{
    if (thread_)
        return port_ != 0;
    thread_ = std::make_unique<Thread>(config_, port, sent_, budgetMs_);
    thread_->setObjectName(QStringLiteral("gateway"));
    thread_->start();
    thread_->ready.acquire();
    if (thread_->port == 0) {
        if (error)
            *error = thread_->error;
        thread_->wait();
        thread_.reset();
        return false;
    }
    port_ = thread_->port;
    return true;
}

QString LiveGateway::address() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
