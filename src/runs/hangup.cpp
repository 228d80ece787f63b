#include "runs/hangup.h"

#include "support/log.h"
#include "support/settingsstore.h"
#include "support/yield.h"

#include <QProcess>

QString HangUpDialUp(int timeoutMs)
{
    const QString command = store::read(QStringLiteral("DisconnectCommand"), QString()).trimmed();
    if (command.isEmpty())
        return {};
    QStringList args = QProcess::splitCommand(command);
    if (args.isEmpty())
        return {};
    const QString program = args.takeFirst();

    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, args);
    QString problem;
    if (!process.waitForStarted(5000)) {
        problem = QStringLiteral("Disconnect command could not be started: %1").arg(command);
    } else if (!waitUntil([&process] { return process.state() == QProcess::NotRunning; }, timeoutMs,
                          AbortFlag::Ignore)) {
        process.kill();
        process.waitForFinished(5000);
        problem = QStringLiteral("Disconnect command did not end within %1 s: %2").arg(timeoutMs / 1000).arg(command);
    } else if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        problem = QStringLiteral("Disconnect command failed (exit code %1): %2").arg(process.exitCode()).arg(command);
    }
    WriteLog(problem.isEmpty() ? QStringLiteral("Disconnected") : problem);
    return problem;
}
