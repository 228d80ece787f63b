#pragma once

#include <QString>
#include <QTimer>
#include <memory>

class LiveGateway;

// The host value "live" means the built-in gateway. The program makes one
// LiveHosts for its life (the main window, a headless command) and the
// gateway it starts lives as long. Runs on the thread that owns the settings.
class LiveHosts {
public:
    LiveHosts();
    ~LiveHosts();  // stops the gateway
    LiveHosts(const LiveHosts&) = delete;
    LiveHosts& operator=(const LiveHosts&) = delete;

    static bool isLive(const QString& host);

    // When a quote-service host of the loaded settings is "live": starts the
    // gateway (once, on a free port) and points those hosts at it. Hosts set
    // to a server of their own are left alone and start nothing. Returns
    // false with `error` set when the gateway cannot start.
    bool resolve(QString* error);

    // The gateway, or null when none was started.
    LiveGateway* running() const { return gateway_.get(); }

    void stop();

private:
    std::unique_ptr<LiveGateway> gateway_;
    // Hands a changed request time-out (Options window, option command) to
    // the gateway while it runs, on the thread that owns the settings.
    QTimer follow_;
};
