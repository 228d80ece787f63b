#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class CancelToken;
class GapTimer;
class QNetworkAccessManager;
class QNetworkReply;

// One HTTP GET over Qt Network.
struct AttemptSettings {
    int timeoutMs = 0;  // no complete answer by then: timed out; 0: none
    int capMs = 30000;  // wall-clock cap on the request in flight
    // Given up within one poll (20 ms) once this is cancelled; null: only the
    // limits above end the attempt. Outlives the attempt.
    const CancelToken* cancel = nullptr;
    GapTimer* gap = nullptr;  // claimed by the caller; ended (and restarted) when the attempt ends
};

struct AttemptOutcome {
    QByteArray body;
    int errorCode = 0;  // 0: a response was obtained, whatever its HTTP status
    bool timedOut = false;
    bool aborted = false;
    QString responseInfo;  // "HTTP/1.1 200 OK" style status line, empty without a response
    QString errorText;     // the network layer's words for a transport error
};

// Longest body accepted; a longer one is cut off and counts as a failure, so
// that a faulty server cannot exhaust memory.
constexpr qint64 kMaxBodyBytes = 16 * 1024 * 1024;

// One GET in flight: start() sends it and returns; `done` is emitted once,
// from the event loop, when the answer is complete or the attempt has given
// up (time-out, cap, its cancel token). Nothing waits inside it.
class HttpAttempt : public QObject {
    Q_OBJECT
public:
    HttpAttempt(QNetworkAccessManager& manager, const QUrl& url, const AttemptSettings& settings,
                QObject* parent = nullptr);
    ~HttpAttempt() override;

    void start();
    bool finished() const { return finished_; }
    const AttemptOutcome& outcome() const { return outcome_; }

signals:
    void done();

private:
    void replyFinished();
    void giveUp(bool timedOut, bool aborted);
    void complete(int errorCode);

    QNetworkAccessManager& manager_;
    QUrl url_;
    AttemptSettings settings_;
    QPointer<QNetworkReply> reply_;
    QTimer timeout_, cap_, abortPoll_;
    AttemptOutcome outcome_;
    bool tooLarge_ = false;
    bool gaveUp_ = false;  // time-out, cap or cancel token ended it
    bool finished_ = false;
};

// The URL as sent: the text taken byte for byte (Latin-1), with the bytes an
// HTTP request line cannot carry (blank, control characters, bytes above 127,
// and "#", which would cut the query) percent-encoded. Everything else,
// including "%" escapes made by the caller, stays as built.
QUrl wireUrl(const QString& url);

// Proxy settings for `url`: the system's, but never for the loopback host.
void configureProxy(QNetworkAccessManager& manager, const QUrl& url);
