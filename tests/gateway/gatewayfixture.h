#pragma once

#include "fakeprovider.h"
#include "gateway/config.h"
#include "gateway/livegateway.h"
#include "testutil.h"

#include <QByteArray>
#include <memory>

// A gateway in the test's process, asking the fake provider. The provider
// answers on the test's thread, so a test waits by turning the event loop.
class GatewayTest : public QuotarisTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the gateway; `adjust` may change its configuration first.
    void startGateway(const std::function<void(GatewayConfig&)>& adjust = {});

    struct Answer {
        int status = 0;  // 0: the connection closed without an answer
        QByteArray body;
        qint64 ms = 0;  // how long it took
    };
    // A GET of `pathAndQuery` at the gateway, the way the program sends it.
    Answer get(const QString& pathAndQuery, int timeoutMs = 30000);
    int providerRequests() const { return gateway->providerRequests(); }

    FakeProvider provider;
    std::unique_ptr<LiveGateway> gateway;
};
