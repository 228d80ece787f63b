#pragma once

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>

class BusyPointer;
class HttpAttempt;

// Checks for a newer release of the program and for newer help files on the
// maker's servers. The hosts are the store keys UpdateHost and HelpHost, empty
// unless the user sets them; an empty host is never asked. A server that
// cannot be reached, answers an error page or no version number counts as
// "nothing newer" in the window; check() tells these apart.
namespace updates {

QString ownVersion();

// The version number at the start of `text` ("2", "2.29", "1.0.3"; leading
// blanks skipped), or empty when the text does not start with one.
QString leadingVersion(const QByteArray& text);

// True when `offered` is a later version than `ours`. Versions are compared
// number by number, so 1.10 is later than 1.9 and 1.0 equals 1.0.0.
bool isNewer(const QString& offered, const QString& ours);

// http://UpdateHost/update/version.txt, or empty when UpdateHost is empty.
QString versionUrl();

// Where a new release is downloaded: http://UpdateHost/download/, or empty
// when UpdateHost is empty.
QUrl downloadPage();

// What one GET brought.
struct Fetched {
    QByteArray body;  // the body of a 200 answer, else empty
    QString failure;  // why there is no body ("connection refused", "HTTP 404 Not Found"); empty on success
};

// One GET of a file from the update or help server, waited for at most the
// request time-out (Download options): start() sends it and `finished`
// reports result() from the event loop. These servers are not the quote
// service: the GET has a network manager of its own.
class Get : public QObject {
    Q_OBJECT
public:
    explicit Get(QObject* parent = nullptr);
    ~Get() override;

    // Ignored while a GET is on its way. An empty `url` fails ("no address").
    void start(const QString& url);
    bool running() const { return running_; }
    const Fetched& result() const { return result_; }

signals:
    void finished();

private:
    void answered();

    QNetworkAccessManager manager_;
    std::unique_ptr<HttpAttempt> attempt_;
    Fetched result_;
    bool running_ = false;
};

// What the update server said.
struct Check {
    enum class Outcome {
        NoServer,      // UpdateHost is empty: nothing was asked
        Failed,        // no answer, an error status, or no version number in it
        NothingNewer,  // our own version or an older one
        Newer,
    };
    Outcome outcome = Outcome::NoServer;
    QString offered;  // the version the server named (NothingNewer, Newer)
    QString failure;  // why it failed, with the address asked (Failed)
};
// One question to the update server, asynchronous: start() sends it and
// `finished` reports the end from the event loop, or inside start() when no
// update server is set (then nothing is asked). What is shown at the end
// depends on `answer`. The update server is not the quote service: the check
// has a network manager of its own, used for this one request.
class UpdateCheck : public QObject {
    Q_OBJECT
public:
    enum class Answer {
        Quiet,  // shows nothing
        Offer,  // a later version is announced with the question "Download
                // now?"; Yes opens the download page in the browser
        Tell,   // the menu's check: says what the server answered, also that
                // no update server is set or that it could not be asked
    };
    explicit UpdateCheck(Answer answer = Answer::Quiet, QObject* parent = nullptr);
    ~UpdateCheck() override;

    // Ignored while a question is on its way.
    void start();
    bool running() const { return get_.running(); }
    const Check& result() const { return result_; }
    // True when the server offers a later version than ours.
    bool newer() const { return result_.outcome == Check::Outcome::Newer; }

signals:
    void finished();

private:
    void answered();
    void end();

    Answer answer_;
    Check result_;
    QString url_;
    Get get_;
    std::unique_ptr<BusyPointer> busy_;
};

// The first time a download run asks in a process: the update check (with
// the offer to download) is due. Counts the asking.
bool updateCheckDue();

// Asks the help server for the help version it publishes: start() sends the
// question and `finished` reports the end from the event loop, or inside
// start() when no help server is set. Shows nothing.
class HelpVersionCheck : public QObject {
    Q_OBJECT
public:
    explicit HelpVersionCheck(QObject* parent = nullptr);
    ~HelpVersionCheck() override;

    // Ignored while the question is on its way.
    void start();
    bool running() const { return get_.running(); }
    // The published version when it is later than the installed one
    // (setting helpversion), else 0.
    int newer() const { return newer_; }

signals:
    void finished();

private:
    void answered();

    Get get_;
    std::unique_ptr<BusyPointer> busy_;
    int newer_ = 0;
};

}  // namespace updates
