#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QProcess;
class QTimer;

// Takes the network connection down after a download: runs the command the
// user keeps under "DisconnectCommand" in the settings store (for example
// "nmcli connection down NAME"). The command is split into program and
// arguments like a shell would split it, but no shell runs it: quotes group,
// nothing is expanded, ";" and "|" are plain characters.
//
// start() returns at once; `done` reports, from the event loop, an empty
// text when no command is set or the command exited with 0, otherwise what
// went wrong. A command still running after `timeoutMs` is ended. A failure
// never affects the download: callers only show or log it.
class HangUp : public QObject {
    Q_OBJECT
public:
    explicit HangUp(QObject* parent = nullptr);
    ~HangUp() override;

    void start(int timeoutMs = 60000);
    bool running() const { return running_; }

signals:
    void done(const QString& problem);

private:
    void finish(const QString& problem);

    std::unique_ptr<QProcess> process_;
    std::unique_ptr<QTimer> timer_;
    QString command_;
    int timeoutMs_ = 0;
    bool running_ = false;
};
