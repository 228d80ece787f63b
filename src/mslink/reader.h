#pragma once

#include "mslink/folder.h"
#include "mslink/records.h"

#include <QString>
#include <memory>

namespace mslink {

// Reads a MetaStock folder: its securities one after the other, one
// security's records, the record of a date. Takes no lock. Calls that need
// an open folder or a current security throw Error.
class Reader {
public:
    Reader();
    ~Reader();

    // With `session` (which outlives the reader), the master files come
    // from the session's while they are unchanged on disk.
    void openFolder(const QString& path, Session* session = nullptr);
    void closeFolder();
    void closeSecurity();

    // Makes the security of `ticker` current; false when there is none.
    // With `dataFile`, see Folder::find.
    bool findSecurity(const QString& ticker, const QString& dataFile = QString());
    // Moves to the next security (the first one right after opening).
    void nextSecurity();
    int securityCount() const;
    // Securities from the current one to the last; 0 past the end.
    int recordsLeft() const;

    QString currentSecurityName() const;
    QString currentSecurityTicker() const;
    int currentFileNumber() const;
    int currentRecordCount() const;
    qint32 currentFirstDate() const;
    qint32 currentLastDate() const;

    // Looks for the current security's record of `date` (YYYYMMDD text);
    // goToFoundRecord makes it the current record.
    void seekDate(const QString& date);
    void goToFoundRecord();
    // The current record's volume; 0 without a current record.
    float currentRecordVolume() const;

    // Reads every record of the current security into the arrays.
    void loadAllRecords();
    const RecordArrays& arrays() const { return arrays_; }

    // False when `path` holds no MetaStock database yet.
    static bool databasePresent(const QString& path);

private:
    const Folder& folder() const;
    const Security& current() const;

    std::unique_ptr<Folder> folder_;
    int current_ = -1;
    bool found_ = false;
    Record seek_, record_;
    bool hasRecord_ = false;
    RecordArrays arrays_;
};

}  // namespace mslink
