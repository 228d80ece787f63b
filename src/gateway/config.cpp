#include "gateway/config.h"

#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"

#include <algorithm>

QString GatewayConfig::defaultLiveHost() { return QStringLiteral("https://query2.finance.yahoo.com"); }

QString GatewayConfig::defaultFallbackHost() { return QStringLiteral("https://query1.finance.yahoo.com"); }

QString GatewayConfig::defaultCookieHost() { return QStringLiteral("https://fc.yahoo.com"); }

QString GatewayConfig::defaultWebHost() { return QStringLiteral("https://finance.yahoo.com"); }

QString GatewayConfig::defaultPortalHost() { return QStringLiteral("https://www.yahoo.com"); }

QByteArray GatewayConfig::defaultUserAgent()
{
    // Short and without a browser version: the provider refuses library
    // defaults, and a versioned browser string ages into a refusal, while
    // short fixed strings keep working.
    return "Mozilla/5.0 (X11; Linux x86_64)";
}

QByteArray GatewayConfig::defaultAlternateUserAgent() { return "Mozilla/5.0"; }

GatewayConfig GatewayConfig::fromSettings()
{
    GatewayConfig c;
    const auto base = [](const char* key, const QString& fallback) {
        QString text = store::read(QLatin1String(key), QString()).trimmed();
        while (text.endsWith(QLatin1Char('/')))
            text.chop(1);
        return text.isEmpty() ? fallback : text;
    };
    c.liveHost = base("LiveHost", defaultLiveHost());
    // The provider's second query host serves the same paths; a host of the
    // user's own has no such twin.
    c.fallbackHost = c.liveHost == defaultLiveHost() ? defaultFallbackHost() : QString();
    c.cookieHost = base("LiveCookieHost", defaultCookieHost());
    c.webHost = base("LiveWebHost", defaultWebHost());
    c.portalHost = base("LivePortalHost", defaultPortalHost());
    const QString agent = store::read(QStringLiteral("LiveUserAgent"), QString()).trimmed();
    c.userAgent = agent.isEmpty() ? defaultUserAgent() : agent.toLatin1();
    c.alternateUserAgent = defaultAlternateUserAgent();
    if (c.alternateUserAgent == c.userAgent)
        c.alternateUserAgent = defaultUserAgent();
    c.dataFolder = paths::dataFolder();
    c.budgetMs = budgetFor(settings().teller2);
    return c;
}

int GatewayConfig::budgetFor(int teller2)
{
    // Answer, or give up, a little before the program stops waiting.
    return teller2 > 0 ? std::max(500, teller2 * 1000 - 750) : 25000;
}
