#include "app/commands_serve.h"

#include "app/headless.h"
#include "database/db.h"
#include "database/settingsrow.h"
#include "database/startup.h"
#include "gateway/config.h"
#include "gateway/livegateway.h"
#include "support/paths.h"
#include "support/toplevel.h"

#include <QCoreApplication>
#include <QTimer>
#include <csignal>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

}  // namespace

int cmdServe(HeadlessContext& c)
{
    quint16 port = 0;
    for (qsizetype i = 0; i < c.args.size(); ++i) {
        bool ok = false;
        if (c.args[i] == QLatin1String("--port") && i + 1 < c.args.size()) {
            const uint value = c.args[++i].toUInt(&ok);
            if (ok && value <= 65535) {
                port = static_cast<quint16>(value);
                continue;
            }
        }
        c.err << "serve takes only --port P (0 to 65535)\n";
        return 2;
    }
    // The settings say where the provider is and how long the program waits
    // for an answer; the gateway itself is not one of the hosts here.
    QString error;
    if (!paths::ensureDataFolder(&error)) {
        c.err << error << '\n';
        return 1;
    }
    runStartup();
    const GatewayConfig config = GatewayConfig::fromSettings();
    LiveGateway gateway(config);
    if (!gateway.start(port, &error)) {
        c.err << "The gateway cannot listen on port " << port << ": " << error << '\n';
        return 1;
    }
    c.out << "Gateway listening on http://" << gateway.address() << '\n';
    c.out << "Live source: " << config.liveHost << '\n';
    c.out << "Stop with Ctrl+C.\n";
    c.out.flush();

    stopRequested = 0;
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    poll.start(100);
    // The program's time-out may change while the gateway serves it (the
    // Options window of a running program writes it to the database).
    QTimer follow;
    QObject::connect(&follow, &QTimer::timeout, [&gateway] {
        try {
            const std::unique_ptr<Database> db = Database::openDefault();
            const QVariant teller2 = db ? settingsrow::read(*db, QStringLiteral("teller2")) : QVariant();
            if (teller2.isValid())
                gateway.setRequestTimeout(teller2.toInt());
        } catch (const DbError&) {
            // In use or gone for a moment: the next look will do.
        }
    });
    follow.start(5000);
    runTopLevel();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    c.out << "Gateway stopped after " << gateway.providerRequests() << " provider requests\n";
    return 0;
}
