#include "runs/updates.h"

#include "quotes/fetch.h"
#include "quotes/transfer.h"
#include "support/desktop.h"
#include "support/help.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"
#include "support/yield.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QVector>
#include <algorithm>

namespace updates {
namespace {
// No server unless the user names one: the program has no update server of
// its own to ask.
const QString kDefaultHost;

QString updateHost() { return store::read(QStringLiteral("UpdateHost"), kDefaultHost).trimmed(); }

QString describeFailure(const AttemptOutcome& outcome)
{
    if (outcome.errorCode == fetcherr::TimedOut)
        return QStringLiteral("no answer within %1 s").arg(std::max(settings().teller2, 1));
    if (outcome.errorCode >= fetcherr::Transport) {
        switch (static_cast<QNetworkReply::NetworkError>(outcome.errorCode - fetcherr::Transport)) {
        case QNetworkReply::ConnectionRefusedError:
            return QStringLiteral("connection refused");
        case QNetworkReply::RemoteHostClosedError:
            return QStringLiteral("the server closed the connection");
        case QNetworkReply::HostNotFoundError:
            return QStringLiteral("host not found");
        case QNetworkReply::TimeoutError:
            return QStringLiteral("the connection timed out");
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::TemporaryNetworkFailureError:
            return QStringLiteral("no network");
        case QNetworkReply::ProxyConnectionRefusedError:
        case QNetworkReply::ProxyNotFoundError:
        case QNetworkReply::ProxyTimeoutError:
            return QStringLiteral("the proxy cannot be reached");
        default:
            break;
        }
    }
    if (outcome.errorCode != 0)
        return fetcherr::describe(outcome.errorCode);
    return outcome.responseInfo.isEmpty() ? QStringLiteral("no HTTP answer") : outcome.responseInfo.trimmed();
}

QVector<qint64> parts(const QString& version)
{
    QVector<qint64> numbers;
    for (const QString& part : version.split(QLatin1Char('.')))
        numbers.append(part.toLongLong());
    while (!numbers.isEmpty() && numbers.last() == 0)
        numbers.removeLast();
    return numbers;
}
}  // namespace

QString ownVersion() { return QStringLiteral(QUOTARIS_VERSION); }

QString leadingVersion(const QByteArray& text)
{
    static const QRegularExpression version(QStringLiteral("^[ \\t]*(\\d{1,9}(?:\\.\\d{1,9})*)"));
    const QRegularExpressionMatch m = version.match(QString::fromLatin1(text.left(64)));
    return m.hasMatch() ? m.captured(1) : QString();
}

bool isNewer(const QString& offered, const QString& ours)
{
    const QVector<qint64> a = parts(offered), b = parts(ours);
    return std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end());
}

QString versionUrl()
{
    const QString host = updateHost();
    if (host.isEmpty())
        return {};
    return QStringLiteral("http://") + host + QStringLiteral("/update/version.txt");
}

QUrl downloadPage()
{
    const QString host = updateHost();
    if (host.isEmpty())
        return {};
    return QUrl(QStringLiteral("http://") + host + QStringLiteral("/download/"));
}

Fetched fetch(const QString& url)
{
    if (url.isEmpty())
        return {{}, QStringLiteral("no address")};
    QNetworkAccessManager manager;
    const QUrl wire = wireUrl(url);
    configureProxy(manager, wire);
    AttemptSettings attempt;
    attempt.timeoutMs = std::max(settings().teller2, 1) * 1000;
    attempt.capMs = attempt.timeoutMs;
    HttpAttempt get(manager, wire, attempt);
    get.start();
    waitUntil([&get] { return get.finished(); }, -1, AbortFlag::Ignore);
    const AttemptOutcome& outcome = get.outcome();
    if (outcome.errorCode != 0 || !outcome.responseInfo.startsWith(QLatin1String("HTTP 200 ")))
        return {{}, describeFailure(outcome)};
    if (outcome.body.isEmpty())
        return {{}, QStringLiteral("an empty answer")};
    return {outcome.body, {}};
}

QByteArray fetchFile(const QString& url) { return fetch(url).body; }

Check check()
{
    Check result;
    const QString url = versionUrl();
    if (url.isEmpty())
        return result;
    Fetched answer;
    {
        BusyPointer busy;
        yieldToGui();
        answer = fetch(url);
    }
    result.offered = leadingVersion(answer.body);
    if (result.offered.isEmpty()) {
        result.outcome = Check::Outcome::Failed;
        result.failure =
            url + QStringLiteral(": ") +
            (answer.failure.isEmpty() ? QStringLiteral("the answer holds no version number") : answer.failure);
        return result;
    }
    result.outcome = isNewer(result.offered, ownVersion()) ? Check::Outcome::Newer : Check::Outcome::NothingNewer;
    return result;
}

QString newerVersion()
{
    const Check result = check();
    return result.outcome == Check::Outcome::Newer ? result.offered : QString();
}

bool CheckForUpdate()
{
    const QString offered = newerVersion();
    if (offered.isEmpty())
        return false;
    // An unattended run answers No: nothing opens without the user.
    if (askYesNo(QStringLiteral("There is a new version of Quotaris\r\nDownload now?"), {}, false))
        desktop::openUrl(downloadPage());
    return true;
}

void checkAskedByUser()
{
    const Check result = check();
    switch (result.outcome) {
    case Check::Outcome::NoServer:
        msgBox(QStringLiteral("No update server is set (UpdateHost in %1)").arg(paths::settingsFile()),
               Icon::Information);
        return;
    case Check::Outcome::Failed:
        msgBox(QStringLiteral("The update server could not be asked: ") + result.failure, Icon::Warning);
        return;
    case Check::Outcome::NothingNewer:
        msgBox(QStringLiteral("No Updates available yet"), Icon::Information);
        return;
    case Check::Outcome::Newer:
        if (askYesNo(QStringLiteral("There is a new version of Quotaris\r\nDownload now?"), {}, false))
            desktop::openUrl(downloadPage());
        return;
    }
}

void CheckForUpdateOnce()
{
    if (state().updateChecks > 0)
        return;
    ++state().updateChecks;
    CheckForUpdate();
}

int GetHelpVersion()
{
    const QString base = help::onlineBase();
    if (base.isEmpty())
        return 0;
    QByteArray answer;
    {
        BusyPointer busy;
        yieldToGui();
        answer = fetchFile(base + QStringLiteral("help.txt"));
    }
    const std::optional<double> published = textconv::leadingNumber(QString::fromLatin1(answer));
    if (!published || *published >= 2147483648.0 || *published < 0)
        return 0;
    // Compared as the whole number that is stored after the update, so that a
    // published 5.5 is not offered again and again to help version 5.
    const int version = static_cast<int>(*published);
    return version > settings().helpversion ? version : 0;
}

}  // namespace updates
