#pragma once

#include <QString>
#include <functional>

// Fetches new help files from the help server into the data folder's help/,
// where they take precedence over the pages installed with the program.
// The server lists the files in list.txt and gives their version in help.txt.
class HelpFilesUpdate {
public:
    // Status texts while downloading: "Downloading" and the local path.
    std::function<void(const QString& panel1, const QString& panel2)> status;

    // Fetches `url` and, when a file came back, writes it to `localPath`
    // through a temporary file renamed into place. Returns false and leaves
    // an existing file alone when nothing came back or it cannot be written.
    bool DownloadFile(const QString& url, const QString& localPath);

    struct Result {
        bool ok = false;
        QString failed;   // the name whose download failed
        int version = 0;  // the help version now installed
    };

    // list.txt, then every file it names (lines of more than two characters,
    // in order; the first failure stops), then the version from help.txt,
    // kept in memory and stored as setting helpversion. Files fetched before
    // a failure stay; the version then stays as it was.
    Result run();

    // True for a name the update may write: a plain file name that cannot
    // leave the help folder.
    static bool acceptableName(const QString& name);
};
