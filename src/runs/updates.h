#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Checks for a newer release of the program and for newer help files on the
// maker's servers. The hosts are the store keys UpdateHost and HelpHost; an
// empty value means the server is never asked. A server that cannot be
// reached, answers an error page or no version number counts as "nothing
// newer".
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

// Where a new release is downloaded: the project's download page.
QUrl downloadPage();

// One GET of `url`, waited for at most the request time-out (Download
// options) while the interface stays alive. The body of a 200 answer;
// anything else (no answer, an error status, a time-out) gives nothing.
QByteArray fetchFile(const QString& url);

// The version the update server offers when it is later than ours, else
// empty. Asks the server; shows nothing.
QString newerVersion();

// Asks the update server. A later version is announced with the question
// "Download now?"; Yes opens the download page in the browser. Returns true
// when a later version was found.
bool CheckForUpdate();

// CheckForUpdate, only the first time a download run calls it in a process.
void CheckForUpdateOnce();

// The help version published on the help server when it is later than the
// installed one (setting helpversion), else 0.
int GetHelpVersion();

}  // namespace updates
