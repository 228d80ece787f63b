#pragma once

#include "runs/updates.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// Fetches new help files from the help server into the data folder's help/,
// where they take precedence over the pages installed with the program.
// The server lists the files in list.txt and gives their version in help.txt.
class HelpFilesUpdate : public QObject {
    Q_OBJECT
public:
    explicit HelpFilesUpdate(QObject* parent = nullptr);

    // Status texts while downloading: "Downloading" and the local path.
    std::function<void(const QString& panel1, const QString& panel2)> status;

    struct Result {
        bool ok = false;
        QString failed;   // the name whose download failed
        int version = 0;  // the help version now installed
    };

    // Starts the update: list.txt, then every file it names (lines of more
    // than two characters, in order; the first failure stops), then the
    // version from help.txt, kept in memory and stored as setting
    // helpversion. Files fetched before a failure stay; the version then
    // stays as it was. A file is written through a temporary file renamed
    // into place; an existing file is left alone when nothing came back.
    // `finished` reports result() from the event loop. Ignored while an
    // update is on its way.
    void start();
    bool running() const { return running_; }
    const Result& result() const { return result_; }

    // True for a name the update may write: a plain file name that cannot
    // leave the help folder.
    static bool acceptableName(const QString& name);

signals:
    void finished();

private:
    void download(const QString& name, const QString& localName);
    void downloaded();
    void next();
    void fail(const QString& name);
    void complete();

    updates::Get get_;
    QString base_;
    QString folder_;
    QString name_;       // the name being fetched, as the list gives it
    QString localPath_;  // where it goes
    QStringList names_;  // the names still to fetch
    bool listing_ = false;
    bool running_ = false;
    Result result_;
};
