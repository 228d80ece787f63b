#pragma once

#include <QString>

class LiveGateway;

// The host value "live" means the built-in gateway. These run on the thread
// that owns the settings.
namespace livehosts {

bool isLive(const QString& host);

// When a quote-service host of the loaded settings is "live": starts the
// process's gateway (once, on a free port) and points those hosts at it.
// Hosts set to a server of their own are left alone and start nothing.
// Returns false with `error` set when the gateway cannot start.
bool resolve(QString* error);

// True when `host` (as resolved) is the process's running gateway.
bool isGateway(const QString& host);

// The process's gateway, or null when none was started.
LiveGateway* running();

// Stops the process's gateway; called before the application object ends.
void stop();

}  // namespace livehosts
