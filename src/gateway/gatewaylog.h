#pragma once

#include <QLoggingCategory>

// What the gateway has to tell about the provider (a host that cannot be
// reached, a consent given): to standard error, from the gateway's thread.
Q_DECLARE_LOGGING_CATEGORY(lcGateway)
