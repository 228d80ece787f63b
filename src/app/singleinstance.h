#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One window per data folder: the first copy of the program listens on a
// local socket named after the folder; a second copy finds it there, says
// that the folder is in use and may ask it to come forward.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when no other copy holds the folder; this one then listens.
    bool claim();
    // Asks the copy that holds the folder to bring its window forward.
    bool bringForward() const;

    QString socketName() const { return name_; }

signals:
    void raiseRequested();

private:
    QString name_;
    QLocalServer* server_ = nullptr;
};

// The question a second copy asks.
QString alreadyRunningText(const QString& dataFolder);
