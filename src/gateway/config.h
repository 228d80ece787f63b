#pragma once

#include <QByteArray>
#include <QString>

// Everything the gateway needs from the program, copied once on the thread
// that starts it: the gateway's own thread never reads the process's
// settings.
struct GatewayConfig {
    QString liveHost;      // URL base of the JSON endpoints
    QString fallbackHost;  // asked once when liveHost could not be reached; empty: none
    QString cookieHost;    // hands out the session cookie
    QString webHost;       // its quote pages hand it out too (when the cookie host is blocked)
    QString portalHost;    // and so does its portal, last
    QByteArray userAgent;
    QByteArray alternateUserAgent;  // taken once when the first request of a session meets a 429
    QString dataFolder;             // members/INDEX.txt and changes.txt live here

    int budgetMs = 9000;          // a legacy request not answered by then fails
    int maxInFlight = 4;          // provider requests at once
    double ratePerSec = 2.0;      // sustained provider requests a second...
    int burst = 4;                // ...after a burst of this many
    int pauseMs = 60000;          // all traffic stops this long after a 429...
    int maxPauseMs = 15 * 60000;  // ...doubling on each further 429 up to this
    int quoteCacheMs = 60000;     // current quotes are asked again after this
    int transferTimeoutMs = 15000;
    int retryDelayMs = 1000;  // one retry after a 5xx or a lost connection
    qint64 maxCacheBytes = 8 * 1024 * 1024;
    qint64 maxAnswerBytes = 32 * 1024 * 1024;  // a provider answer past this fails its call

    static QString defaultLiveHost();
    static QString defaultFallbackHost();
    static QString defaultCookieHost();
    static QString defaultWebHost();
    static QString defaultPortalHost();
    static QByteArray defaultUserAgent();
    static QByteArray defaultAlternateUserAgent();

    // From the loaded settings and the settings store (store keys LiveHost,
    // LiveCookieHost, LiveWebHost, LivePortalHost, LiveUserAgent; the
    // request time-out teller2). Call on the thread that owns the settings.
    static GatewayConfig fromSettings();
    // The budget of a legacy request for the program's time-out `teller2`
    // (seconds): a little less, so that the program sees the failure itself.
    static int budgetFor(int teller2);
};
