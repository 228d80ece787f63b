#pragma once

#include "mslink/datafile.h"
#include "mslink/masters.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace mslink {

// What one stretch of MetaStock use (a download run, a map rebuild) keeps of
// the folders it opened: their master files as read, taken again while they
// are unchanged on disk, and the folders already repaired. Folders opened
// without one are read afresh and repaired at every opening.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Each folder is checked for repairs again when a writer next opens it.
    void restart();

private:
    friend class Folder;
    struct Cached;
    struct Kept;
    std::unique_ptr<Kept> kept_;
};

// One MetaStock folder: its master files and data files. Every change keeps
// the folder readable at each step: data records go to disk before the
// header that counts them, a data file before the master entries that name
// it, and master files are replaced whole.
class Folder {
public:
    // `dir` with or without a trailing separator; `session`, when given,
    // outlives the folder.
    explicit Folder(const QString& dir, Session* session = nullptr);

    // True when the folder holds master files (a MetaStock database).
    static bool present(const QString& dir);

    // The symbols the master files of a folder that load() refuses still
    // name (see salvageSymbols); nothing when they cannot be read at all.
    static QStringList salvagedSymbols(const QString& dir);

    // Reads the master files (from the session's while they are unchanged
    // on disk). Throws Error(Damaged) for master files that cannot be trusted,
    // Error(Io) for files that cannot be read.
    void load();

    // Mends what an interrupted write can leave: a data file whose header
    // lags behind its records, master dates behind their data file, an
    // EMASTER that does not match MASTER, and temporary files. A data file
    // no master names is left as it is (see unnamedDataFiles). Done once per
    // folder and session.
    void repair();

    QString dir() const { return dir_; }
    const std::vector<Security>& securities() const { return m_->securities; }
    int count() const { return static_cast<int>(m_->securities.size()); }
    // The security of `symbol` (compared without regard to case), or -1.
    // Given the name of its data file ("F12.DAT"), the security of that file
    // when its symbol is `symbol`'s, so a folder holding one symbol twice
    // still gives each ticker its own.
    int find(const QString& symbol, const QString& dataFile = QString()) const;
    QString dataPath(int index) const;
    // The data files of the folder that no entry of the master files names.
    QStringList unnamedDataFiles() const;
    // Records the data file of security `index` holds.
    int recordCount(int index) const;
    std::vector<Record> records(int index) const;

    // Adds a security without records; returns its index. The data file is
    // made before the master entries. Throws Error(Full) when no file number
    // is left.
    int add(const QString& symbol, const QString& name);
    // Replaces all records of security `index` (sorted by date first).
    void setRecords(int index, std::vector<Record> records);
    // Appends records dated after the last one in place.
    void append(int index, const std::vector<Record>& records);
    // Writes `record` over record `at` of security `index`, in place; the
    // record's date must be the one it replaces.
    void change(int index, int at, const Record& record);
    // Gives security `index` a new name.
    void rename(int index, const QString& name);

private:
    void save(bool master, bool emaster, bool xmaster);
    void saveDates(int index, qint32 first, qint32 last);
    int nextFileNumber() const;
    // The entries for a change: this folder's own, no longer shared with the
    // cache or another reader.
    Masters& edit();
    // The session's copy of the master files is the one just written.
    void keep();

    QString dir_;
    Session* session_;
    std::shared_ptr<Masters> m_;
};

}  // namespace mslink
