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

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTimer>
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

namespace {

AttemptSettings attemptSettings()
{
    AttemptSettings attempt;
    attempt.timeoutMs = std::max(settings().teller2, 1) * 1000;
    attempt.capMs = attempt.timeoutMs;
    return attempt;
}

Fetched fetched(const AttemptOutcome& outcome)
{
    if (outcome.errorCode != 0 || !outcome.responseInfo.startsWith(QLatin1String("HTTP 200 ")))
        return {{}, describeFailure(outcome)};
    if (outcome.body.isEmpty())
        return {{}, QStringLiteral("an empty answer")};
    return {outcome.body, {}};
}

const QString kOffer = QStringLiteral("There is a new version of Quotaris\r\nDownload now?");

}  // namespace

Get::Get(QObject* parent) : QObject(parent) {}

Get::~Get() = default;

void Get::start(const QString& url)
{
    if (running_)
        return;
    running_ = true;
    result_ = Fetched();
    if (url.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            result_.failure = QStringLiteral("no address");
            running_ = false;
            emit finished();
        });
        return;
    }
    const QUrl wire = wireUrl(url);
    configureProxy(manager_, wire);
    attempt_ = std::make_unique<HttpAttempt>(manager_, wire, attemptSettings());
    // Queued: the attempt is let go of once its signal has returned.
    connect(attempt_.get(), &HttpAttempt::done, this, &Get::answered, Qt::QueuedConnection);
    attempt_->start();
}

void Get::answered()
{
    result_ = fetched(attempt_->outcome());
    attempt_.reset();
    running_ = false;
    emit finished();
}

UpdateCheck::UpdateCheck(Answer answer, QObject* parent) : QObject(parent), answer_(answer)
{
    connect(&get_, &Get::finished, this, &UpdateCheck::answered);
}

UpdateCheck::~UpdateCheck() = default;

void UpdateCheck::start()
{
    if (running())
        return;
    result_ = Check();
    url_ = versionUrl();
    if (url_.isEmpty()) {
        end();
        return;
    }
    busy_ = std::make_unique<BusyPointer>();
    get_.start(url_);
}

void UpdateCheck::answered()
{
    const Fetched answer = get_.result();
    busy_.reset();
    result_.offered = leadingVersion(answer.body);
    if (result_.offered.isEmpty()) {
        result_.outcome = Check::Outcome::Failed;
        result_.failure =
            url_ + QStringLiteral(": ") +
            (answer.failure.isEmpty() ? QStringLiteral("the answer holds no version number") : answer.failure);
    } else {
        result_.outcome = isNewer(result_.offered, ownVersion()) ? Check::Outcome::Newer : Check::Outcome::NothingNewer;
    }
    end();
}

void UpdateCheck::end()
{
    switch (answer_) {
    case Answer::Quiet:
        break;
    case Answer::Offer:
        // An unattended run answers No: nothing opens without the user.
        if (newer() && askYesNo(kOffer, {}, false))
            desktop::openUrl(downloadPage());
        break;
    case Answer::Tell:
        switch (result_.outcome) {
        case Check::Outcome::NoServer:
            msgBox(QStringLiteral("No update server is set (UpdateHost in %1)").arg(paths::settingsFile()),
                   Icon::Information);
            break;
        case Check::Outcome::Failed:
            msgBox(QStringLiteral("The update server could not be asked: ") + result_.failure, Icon::Warning);
            break;
        case Check::Outcome::NothingNewer:
            msgBox(QStringLiteral("No Updates available yet"), Icon::Information);
            break;
        case Check::Outcome::Newer:
            if (askYesNo(kOffer, {}, false))
                desktop::openUrl(downloadPage());
            break;
        }
        break;
    }
    emit finished();
}

bool updateCheckDue()
{
    if (state().updateChecks > 0)
        return false;
    ++state().updateChecks;
    return true;
}

HelpVersionCheck::HelpVersionCheck(QObject* parent) : QObject(parent)
{
    connect(&get_, &Get::finished, this, &HelpVersionCheck::answered);
}

HelpVersionCheck::~HelpVersionCheck() = default;

void HelpVersionCheck::start()
{
    if (running())
        return;
    newer_ = 0;
    const QString base = help::onlineBase();
    if (base.isEmpty()) {
        emit finished();
        return;
    }
    busy_ = std::make_unique<BusyPointer>();
    get_.start(base + QStringLiteral("help.txt"));
}

void HelpVersionCheck::answered()
{
    busy_.reset();
    const std::optional<double> published = textconv::leadingNumber(QString::fromLatin1(get_.result().body));
    // Compared as the whole number that is stored after the update, so that a
    // published 5.5 is not offered again and again to help version 5.
    if (published && *published < 2147483648.0 && *published >= 0) {
        const int version = static_cast<int>(*published);
        newer_ = version > settings().helpversion ? version : 0;
    }
    emit finished();
}

}  // namespace updates
