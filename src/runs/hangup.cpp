#include "runs/hangup.h"

#include "support/log.h"
#include "support/settingsstore.h"

#include <QProcess>
#include <QTimer>

HangUp::HangUp(QObject* parent) : QObject(parent) {}

HangUp::~HangUp()
{
    if (process_) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(5000);
    }
}

void HangUp::start(int timeoutMs)
{
    if (running_)
        return;
    running_ = true;
    command_ = store::read(QStringLiteral("DisconnectCommand"), QString()).trimmed();
    QStringList args = QProcess::splitCommand(command_);
    if (command_.isEmpty() || args.isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            running_ = false;
            emit done(QString());
        });
        return;
    }
    const QString program = args.takeFirst();
    timeoutMs_ = timeoutMs;
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->setStandardInputFile(QProcess::nullDevice());
    connect(process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish(QStringLiteral("Disconnect command could not be started: %1").arg(command_));
    });
    connect(process_.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            finish(QStringLiteral("Disconnect command failed (exit code %1): %2").arg(code).arg(command_));
        else
            finish(QString());
    });
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    connect(timer_.get(), &QTimer::timeout, this, [this] {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(5000);
        finish(QStringLiteral("Disconnect command did not end within %1 s: %2").arg(timeoutMs_ / 1000).arg(command_));
    });
    timer_->start(timeoutMs);
    process_->start(program, args);
}

// Reported from the event loop: the process goes once its signal is over.
void HangUp::finish(const QString& problem)
{
    if (timer_)
        timer_->stop();
    if (process_) {
        process_->disconnect(this);
        process_.release()->deleteLater();
    }
    WriteLog(problem.isEmpty() ? QStringLiteral("Disconnected") : problem);
    QTimer::singleShot(0, this, [this, problem] {
        running_ = false;
        emit done(problem);
    });
}
