#include "mslink/reader.h"

#include "mslink/error.h"

namespace mslink {

Reader::Reader() = default;
Reader::~Reader() = default;

void Reader::openFolder(const QString& path, Session* session)
{
    closeFolder();
    auto f = std::make_unique<Folder>(path, session);
    f->load();
    folder_ = std::move(f);
}

void Reader::closeFolder()
{
    closeSecurity();
    folder_.reset();
    current_ = -1;
}

void Reader::closeSecurity()
{
    found_ = hasRecord_ = false;
    arrays_.clear();
}

const Folder& Reader::folder() const
{
    if (!folder_)
        throw Error(ErrorCode::NoFolder, QStringLiteral("No folder is open"));
    return *folder_;
}

const Security& Reader::current() const
{
    const Folder& f = folder();
    if (current_ < 0 || current_ >= f.count())
        throw Error(ErrorCode::NoSecurity, QStringLiteral("No security is current in %1").arg(f.dir()));
    return f.securities()[static_cast<size_t>(current_)];
}

bool Reader::findSecurity(const QString& ticker, const QString& dataFile)
{
    closeSecurity();
    current_ = folder().find(ticker, dataFile);
    return current_ >= 0;
}

void Reader::nextSecurity()
{
    closeSecurity();
    current_ = std::min(current_ + 1, folder().count());
}

int Reader::securityCount() const { return folder().count(); }

int Reader::recordsLeft() const { return current_ < 0 ? 0 : std::max(0, folder().count() - current_); }

QString Reader::currentSecurityName() const { return current().displayName(); }

QString Reader::currentSecurityTicker() const { return current().symbol; }

int Reader::currentFileNumber() const { return current().fileNumber; }

int Reader::currentRecordCount() const
{
    current();
    return folder().recordCount(current_);
}

qint32 Reader::currentFirstDate() const { return current().firstDate; }

qint32 Reader::currentLastDate() const { return current().lastDate; }

void Reader::seekDate(const QString& date)
{
    const Security& s = current();
    const QString path = folder().dataPath(current_);
    found_ = datafile::find(path, s.layout, folder().recordCount(current_), date.trimmed().toInt(), &seek_) >= 0;
}

void Reader::goToFoundRecord()
{
    hasRecord_ = found_;
    if (found_)
        record_ = seek_;
}

float Reader::currentRecordVolume() const { return hasRecord_ ? record_.volume : 0.0f; }

void Reader::loadAllRecords()
{
    current();
    arrays_.clear();
    for (const Record& r : folder().records(current_))
        arrays_.append(r);
}

bool Reader::databasePresent(const QString& path) { return Folder::present(path); }

}  // namespace mslink
