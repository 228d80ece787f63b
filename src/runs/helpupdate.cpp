#include "runs/helpupdate.h"

#include "support/help.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

namespace {
const QString kList = QStringLiteral("list.txt");
}

HelpFilesUpdate::HelpFilesUpdate(QObject* parent) : QObject(parent)
{
    connect(&get_, &updates::Get::finished, this, &HelpFilesUpdate::downloaded);
}

bool HelpFilesUpdate::acceptableName(const QString& name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           !name.startsWith(QLatin1Char('.')) && !name.contains(QChar(0));
}

void HelpFilesUpdate::start()
{
    if (running_)
        return;
    running_ = true;
    result_ = Result();
    result_.version = settings().helpversion;
    names_.clear();
    base_ = help::onlineBase();
    folder_ = help::updateFolder();
    if (base_.isEmpty() || !QDir().mkpath(folder_)) {
        // Reported from the event loop like every other end.
        QTimer::singleShot(0, this, [this] { fail(kList); });
        return;
    }
    listing_ = true;
    download(kList, QStringLiteral("List.txt"));
}

void HelpFilesUpdate::download(const QString& name, const QString& localName)
{
    name_ = name;
    localPath_ = folder_ + QLatin1Char('/') + localName;
    if (status)
        status(QStringLiteral("Downloading"), localPath_);
    get_.start(base_ + name);
}

void HelpFilesUpdate::downloaded()
{
    const QByteArray body = get_.result().body;
    bool written = false;
    if (!body.isEmpty()) {
        QSaveFile file(localPath_);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(body);
            written = file.commit();
        }
    }
    if (!written) {
        fail(name_);
        return;
    }
    if (listing_) {
        listing_ = false;
        QFile list(localPath_);
        if (!list.open(QIODevice::ReadOnly)) {
            fail(kList);
            return;
        }
        const QString text = QString::fromLatin1(list.readAll());
        for (QString name : text.split(QStringLiteral("\r\n"))) {
            name.remove(QLatin1Char('\n'));
            name.remove(QLatin1Char('\r'));
            name = name.trimmed();
            if (name.size() > 2)
                names_ << name;
        }
    }
    next();
}

void HelpFilesUpdate::next()
{
    if (names_.isEmpty()) {
        complete();
        return;
    }
    const QString name = names_.takeFirst();
    if (!acceptableName(name)) {
        fail(name);
        return;
    }
    download(name, name);
}

void HelpFilesUpdate::fail(const QString& name)
{
    result_.failed = name;
    running_ = false;
    emit finished();
}

void HelpFilesUpdate::complete()
{
    QFile versionFile(folder_ + QStringLiteral("/help.txt"));
    if (versionFile.open(QIODevice::ReadOnly)) {
        const std::optional<double> number = textconv::leadingNumber(QString::fromLatin1(versionFile.read(64)));
        if (number && *number >= 0 && *number < 2147483648.0) {
            result_.version = static_cast<int>(*number);
            settings().helpversion = result_.version;
            store::write(QStringLiteral("helpversion"), QString::number(result_.version));
        }
    }
    result_.ok = true;
    running_ = false;
    emit finished();
}
