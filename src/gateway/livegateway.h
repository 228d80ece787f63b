#pragma once

#include "gateway/config.h"

#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

// The built-in server that answers the legacy quote requests from the live
// source, on 127.0.0.1 in a thread and event loop of its own, so that a busy
// window never holds it up. It touches nothing of the process but its
// configuration, copied when it is made.
class LiveGateway {
public:
    explicit LiveGateway(GatewayConfig config);
    ~LiveGateway();  // stops the thread
    LiveGateway(const LiveGateway&) = delete;
    LiveGateway& operator=(const LiveGateway&) = delete;

    // Starts listening on `port` (0: a free one). False with `error` set
    // when the port cannot be had.
    bool start(quint16 port, QString* error);
    quint16 port() const { return port_; }
    QString address() const;  // "127.0.0.1:PORT"

    // Requests sent to the provider so far (any thread may ask).
    int providerRequests() const { return sent_.load(); }

    // The program's request time-out changed (any thread may tell): requests
    // that arrive from now on get the budget of `teller2` seconds.
    void setRequestTimeout(int teller2) { budgetMs_.store(GatewayConfig::budgetFor(teller2)); }
    int budgetMs() const { return budgetMs_.load(); }

private:
    class Thread;

    GatewayConfig config_;
    std::unique_ptr<Thread> thread_;
    quint16 port_ = 0;
    std::atomic<int> sent_{0};
    std::atomic<int> budgetMs_{0};
};
