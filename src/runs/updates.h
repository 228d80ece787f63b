#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

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

// One GET of `url`, waited for at most the request time-out (Download
// options) while the interface stays alive.
struct Fetched {
    QByteArray body;  // the body of a 200 answer, else empty
    QString failure;  // why there is no body ("connection refused", "HTTP 404 Not Found"); empty on success
};
Fetched fetch(const QString& url);
// The body of fetch(): anything but a 200 answer gives nothing.
QByteArray fetchFile(const QString& url);

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
// Asks the update server; shows nothing.
Check check();

// The version the update server offers when it is later than ours, else
// empty. Asks the server; shows nothing.
QString newerVersion();

// Asks the update server. A later version is announced with the question
// "Download now?"; Yes opens the download page in the browser. Returns true
// when a later version was found.
bool CheckForUpdate();

// The menu's update check: says what the server answered, also that no
// update server is set or that it could not be asked.
void checkAskedByUser();

// CheckForUpdate, only the first time a download run calls it in a process.
void CheckForUpdateOnce();

// The help version published on the help server when it is later than the
// installed one (setting helpversion), else 0.
int GetHelpVersion();

}  // namespace updates
