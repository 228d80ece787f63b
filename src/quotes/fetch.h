#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>

class GapTimer;
class HttpAttempt;
class QuoteClient;

// Transport error codes of a fetch; 0 means a response was obtained.
namespace fetcherr {
constexpr int TimedOut = 35761;   // no complete answer within the request time-out
constexpr int Cancelled = 35762;  // stopped by the user or by the in-flight cap
constexpr int BodyTooLarge = 35763;
constexpr int InvalidUrl = 35764;
constexpr int Transport = 36000;  // + QNetworkReply::NetworkError: refused, closed, unresolved...
QString describe(int code);
// The system's reason for a transport error in a user's words: "connection
// refused", "name not found", "no route to the host", "timed out"...
// `detail` is the network layer's own text, used when the code says little.
QString reason(int code, const QString& detail = QString());
}  // namespace fetcherr

// What kept a fetch from bringing something usable.
enum class FetchProblem {
    None,         // a usable answer, or stopped by the user
    Unreachable,  // no answer: refused, timed out, no route, name not found
    Unusable,     // an answer, but a page or nothing where data was expected
};

// The five callers of the quote service; each has its own fetch policy.
enum class FetchVariant { Loader, Historical, Lookup, Investigation, Search };

struct FetchPolicy {
    int timeoutSec = 0;                     // per-request time-out; 0: only the cap
    bool timeoutFromSecondAttempt = false;  // the first GET runs without it
    int capMs = 30000;                      // wall-clock cap on a request in flight
    int attempts = 6;                       // at least one is always made
    int stopWhenLongerThan = -1;            // a body of this length or less is tried again
                                            // (not the history's "No Prices" answer)
    bool htmlBecomesEmpty = true;           // a body starting with "<" is a page, not data
    GapTimer* gap = nullptr;                // restarted after every GET
    bool waitForGap = false;                // wait for the gap before the first GET (Stop ends the wait)
    // The gap spaces the starts of requests that may be in flight together
    // (restarted when a GET goes out); otherwise a request holds the gap
    // while it is in flight and restarts it when it ends.
    bool gapSpacesStarts = false;
    // Where the client's cancel token is looked at: before a GET goes out,
    // during one in flight, after an answer. The gap wait always looks.
    bool abortBeforeGet = false, abortInFlight = false, abortAfterGet = false;
    bool historical = false;  // log lines and the last-good-answer rule
    bool logErrors = false;   // log "error " and the cause of a failed attempt (not a time-out)

    // The policy of `variant` from the loaded settings. The loader and the
    // historical variant wait for `gap` only when `Isdelay` is on.
    static FetchPolicy forVariant(FetchVariant variant, GapTimer* gap = nullptr);
};

struct FetchRequest {
    QString url;  // complete, built as the service expects
    FetchPolicy policy;
    std::function<void(int attempt)> beforeAttempt;  // called before each GET, attempt from 1
};

struct FetchResult {
    QByteArray body;        // single-byte text; empty when nothing usable came back
    int errorCode = 0;      // of the last attempt
    bool timedOut = false;  // some attempt of this fetch timed out
    bool aborted = false;   // the client's cancel token (or its end) ended the fetch
    int attempts = 0;       // GETs made
    QString host;           // host[:port] asked, for the texts that name it
    FetchProblem problem = FetchProblem::None;
    // Why nothing usable came, for the user; empty without a problem.
    // "the quote service could not be reached (host: connection refused)",
    // "the quote service answered with something unusable (host: an HTML page)".
    QString problemText;
    QString text() const { return QString::fromLatin1(body); }
};

// What the fetches of one client met, so that whatever reports a run can say
// why nothing came. Only the quote service's fetches count.
class FetchRecord {
public:
    void note(const FetchResult& result);

    // Fetches that answered usably.
    quint64 answered() const { return answered_; }
    // The problem of the latest failed fetch; among several, an unusable
    // answer tells more than a host that could not be reached once. Empty
    // when no fetch failed.
    QString problem() const;

private:
    quint64 answered_ = 0, unreachable_ = 0, unusable_ = 0;
    QString lastUnreachable_, lastUnusable_;
};

// One fetch that nothing waits for: start() returns at once and `finished`
// is emitted from the event loop when the attempts of the request under its
// policy are over. Many can be in flight together on the one thread, all
// through the connections of one client. A fetch whose client goes first
// ends as cancelled, and so does one whose client's token is cancelled, at
// the points its policy names.
class AsyncFetch : public QObject {
    Q_OBJECT
public:
    AsyncFetch(QuoteClient& client, FetchRequest request, QObject* parent = nullptr);
    ~AsyncFetch() override;

    void start();
    bool running() const { return running_; }
    const FetchResult& result() const { return result_; }

signals:
    void finished();

private:
    void waitForGap();
    void sendAttempt();
    void attemptDone();
    void finish(bool aborted);
    void describeProblem(bool page, const QString& sourceProblem);

    void clientClosing();
    bool cancelled() const;

    QPointer<QuoteClient> client_;
    FetchRequest request_;
    QString errorText_, responseInfo_;  // of the last attempt
    QUrl url_;
    FetchResult result_;
    std::unique_ptr<HttpAttempt> attempt_;
    QTimer gapWait_;
    bool running_ = false;
};
