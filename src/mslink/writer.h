#pragma once

#include "mslink/files.h"
#include "mslink/folder.h"
#include "mslink/records.h"

#include <QString>
#include <memory>
#include <optional>

namespace mslink {

// Changes a MetaStock folder. Opening takes an advisory lock on MASTER,
// released by release(); a folder another process has locked fails with
// Error(InUse). Record changes of the selected security are held until
// flush(), which writes them and the master dates.
class Writer {
public:
    Writer();
    ~Writer();

    // Creates the folder (and its parents).
    static void createFolder(const QString& path);

    // Repairs the folder (see Folder::repair): once per `session` when one
    // is given (it outlives the writer), else at every opening.
    void openFolder(const QString& path, Session* session = nullptr);
    // Adds a security (the flag is kept for callers; every security gets
    // seven fields) and selects it.
    void addSecurity(const QString& ticker, const QString& name, int flag = 1);
    // Throws Error(NoSecurity) when the folder has no security of `ticker`.
    // With `dataFile`, see Folder::find.
    void selectSecurity(const QString& ticker, const QString& dataFile = QString());
    // The data file of the selected security ("F12.DAT").
    QString selectedDataFile() const;
    // Gives the security of `ticker` (the selected one when there is one) a
    // new name.
    void changeSecurity(const QString& ticker, const QString& newName, const QString& sameTicker);

    bool recordExists(qint32 date);
    void appendRecord(qint32 date, qint32 time, float open, float high, float low, float close, float volume,
                      float openInterest);
    // Replaces the record of `date`; Error(NoRecord) when there is none.
    void changeRecord(qint32 date, qint32 newDate, qint32 time, float open, float high, float low, float close,
                      float volume, float openInterest);
    // Removes the records from `first` to `last`, both included.
    void deleteRecords(qint32 first, qint32 last);
    // Adds the records of the arrays, in array order.
    void writeRecordArrays(const RecordArrays& arrays);
    // Puts the selected security's records in date order.
    void reorder();
    // Writes what changed.
    void flush();
    // Forgets the selected security (changes not flushed are dropped).
    void closeSecurity();
    // Closes the folder and drops the lock.
    void release();

    bool isOpen() const { return folder_ != nullptr; }
    int securityCount() const;

private:
    Folder& folder();
    int selected() const;
    std::vector<Record>& all();
    void relock();

    std::unique_ptr<Folder> folder_;
    files::Lock lock_;        // on MASTER, as it is now
    files::Lock folderLock_;  // on the folder, for the whole time it is open
    int index_ = -1;
    std::optional<std::vector<Record>> all_;  // loaded when a change needs every record
    std::vector<Record> appended_;            // appends not yet written
    // Records changed without a change of date, not yet written: written in
    // place, each where it is.
    struct Changed {
        int at;
        Record record;
    };
    std::vector<Changed> changed_;
};

}  // namespace mslink
