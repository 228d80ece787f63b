#include "mslink/writer.h"

#include "mslink/error.h"

#include <QDir>
#include <algorithm>

namespace mslink {

Writer::Writer() = default;

Writer::~Writer() { release(); }

void Writer::createFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        throw Error(ErrorCode::Io, QStringLiteral("Cannot create the folder %1").arg(path));
}

void Writer::openFolder(const QString& path, Session* session)
{
    release();
    auto f = std::make_unique<Folder>(path, session);
    // The folder itself keeps a second writer of ours out: it is never
    // replaced, unlike MASTER, and it exists before a new folder's master
    // files do. The lock on MASTER is what another program takes.
    if (!folderLock_.acquire(f->dir()) || !lock_.acquire(f->dir() + QStringLiteral("/MASTER"))) {
        folderLock_.release();
        throw Error(ErrorCode::InUse, QStringLiteral("%1 is in use by another program").arg(f->dir()));
    }
    try {
        f->load();
        f->repair();
    } catch (...) {
        lock_.release();
        folderLock_.release();
        throw;
    }
    folder_ = std::move(f);
}

void Writer::relock()
{
    // MASTER may have been replaced: the lock belongs on the file now there.
    lock_.acquire(folder_->dir() + QStringLiteral("/MASTER"));
}

Folder& Writer::folder()
{
    if (!folder_)
        throw Error(ErrorCode::NoFolder, QStringLiteral("No folder is open"));
    return *folder_;
}

int Writer::securityCount() const { return folder_ ? folder_->count() : 0; }

int Writer::selected() const
{
    if (!folder_ || index_ < 0)
        throw Error(ErrorCode::NoSecurity, QStringLiteral("No security is selected"));
    return index_;
}

void Writer::addSecurity(const QString& ticker, const QString& name, int flag)
{
    (void)flag;
    closeSecurity();
    const bool wasEmpty = folder().count() == 0;
    index_ = folder().add(ticker, name.trimmed().isEmpty() ? ticker : name);
    if (wasEmpty)
        relock();
}

void Writer::selectSecurity(const QString& ticker, const QString& dataFile)
{
    closeSecurity();
    const int i = folder().find(ticker, dataFile);
    if (i < 0)
        throw Error(ErrorCode::NoSecurity, QStringLiteral("%1 holds no security %2").arg(folder().dir(), ticker));
    index_ = i;
}

QString Writer::selectedDataFile() const
{
    return folder_ && index_ >= 0 ? folder_->securities()[static_cast<size_t>(index_)].dataFileName() : QString();
}

void Writer::changeSecurity(const QString& ticker, const QString& newName, const QString& sameTicker)
{
    (void)sameTicker;
    const int i = index_ >= 0 ? index_ : folder().find(ticker);
    if (i < 0)
        throw Error(ErrorCode::NoSecurity, QStringLiteral("%1 holds no security %2").arg(folder().dir(), ticker));
    folder().rename(i, newName);
    relock();
}

std::vector<Record>& Writer::all()
{
    if (!all_) {
        all_ = folder().records(selected());
        for (const Changed& c : changed_) {
            if (c.at >= 0 && static_cast<size_t>(c.at) < all_->size())
                (*all_)[static_cast<size_t>(c.at)] = c.record;
        }
        changed_.clear();
        all_->insert(all_->end(), appended_.begin(), appended_.end());
        appended_.clear();
    }
    return *all_;
}

bool Writer::recordExists(qint32 date)
{
    const int i = selected();
    if (all_)
        return std::any_of(all_->begin(), all_->end(), [date](const Record& r) { return r.date == date; });
    if (std::any_of(appended_.begin(), appended_.end(), [date](const Record& r) { return r.date == date; }))
        return true;
    const Security& s = folder().securities()[static_cast<size_t>(i)];
    if (date > s.lastDate || date < s.firstDate)
        return false;
    return datafile::find(folder().dataPath(i), s.layout, folder().recordCount(i), date) >= 0;
}

void Writer::appendRecord(qint32 date, qint32 time, float open, float high, float low, float close, float volume,
                          float openInterest)
{
    selected();
    const Record r{date, time, open, high, low, close, volume, openInterest};
    if (all_)
        all_->push_back(r);
    else
        appended_.push_back(r);
}

void Writer::changeRecord(qint32 date, qint32 newDate, qint32 time, float open, float high, float low, float close,
                          float volume, float openInterest)
{
    const Record fresh{newDate == 0 ? date : newDate, time, open, high, low, close, volume, openInterest};
    if (!all_ && fresh.date == date) {
        // The date stays, so does the record's place: it is written over
        // in place at flush(), without reading or rewriting the file.
        for (Record& r : appended_) {
            if (r.date == date) {
                r = fresh;
                return;
            }
        }
        for (Changed& c : changed_) {
            if (c.record.date == date) {
                c.record = fresh;
                return;
            }
        }
        const int i = selected();
        const Security& s = folder().securities()[static_cast<size_t>(i)];
        const int at = date > s.lastDate || date < s.firstDate
                           ? -1
                           : datafile::find(folder().dataPath(i), s.layout, folder().recordCount(i), date);
        if (at < 0)
            throw Error(ErrorCode::NoRecord, QStringLiteral("No record of %1").arg(date));
        changed_.push_back({at, fresh});
        return;
    }
    std::vector<Record>& records = all();
    const auto it = std::find_if(records.begin(), records.end(), [date](const Record& r) { return r.date == date; });
    if (it == records.end())
        throw Error(ErrorCode::NoRecord, QStringLiteral("No record of %1").arg(date));
    *it = fresh;
}

void Writer::deleteRecords(qint32 first, qint32 last)
{
    std::vector<Record>& records = all();
    records.erase(std::remove_if(records.begin(), records.end(),
                                 [first, last](const Record& r) { return r.date >= first && r.date <= last; }),
                  records.end());
}

void Writer::writeRecordArrays(const RecordArrays& arrays)
{
    std::vector<Record>& records = all();
    for (size_t i = 0; i < arrays.size(); ++i)
        records.push_back(arrays.at(i));
}

void Writer::reorder()
{
    std::vector<Record>& records = all();
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.date < b.date; });
}

void Writer::flush()
{
    const int i = selected();
    if (!all_) {
        for (const Changed& c : changed_)
            folder().change(i, c.at, c.record);
        changed_.clear();
    }
    if (all_) {
        folder().setRecords(i, std::move(*all_));
        all_.reset();
    } else if (!appended_.empty()) {
        // Records after the last stored one go on the end in place; any
        // other order needs the whole file rewritten in date order.
        const qint32 last = folder().securities()[static_cast<size_t>(i)].lastDate;
        bool ascending = appended_.front().date > last;
        for (size_t k = 1; ascending && k < appended_.size(); ++k)
            ascending = appended_[k].date > appended_[k - 1].date;
        if (ascending) {
            folder().append(i, appended_);
            appended_.clear();
        } else {
            folder().setRecords(i, std::move(all()));
            all_.reset();
        }
    }
    relock();
}

void Writer::closeSecurity()
{
    index_ = -1;
    all_.reset();
    appended_.clear();
    changed_.clear();
}

void Writer::release()
{
    closeSecurity();
    folder_.reset();
    lock_.release();
    folderLock_.release();
}

}  // namespace mslink
