#include "mslink/folder.h"

#include "mslink/error.h"
#include "mslink/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <sys/stat.h>

namespace mslink {

namespace {

const QString kMaster = QStringLiteral("MASTER");
const QString kEmaster = QStringLiteral("EMASTER");
const QString kXmaster = QStringLiteral("XMASTER");

// What identifies a master file's content on disk without reading it.
struct Stamp {
    qint64 inode = -1, size = -1, mtime = -1;
    bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {static_cast<qint64>(st.st_ino), static_cast<qint64>(st.st_size),
            static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// A data file longer than the longest header holds records.
constexpr qint64 kLongestHeader = 32;

// The data files in `dir` of the right kind for their number (F<n>.DAT up
// to 255, F<n>.MWD above), by number, with their sizes.
QMap<int, qint64> dataFilesIn(const QString& dir)
{
    static const QRegularExpression dataName(QStringLiteral("^F([0-9]+)\\.(DAT|MWD)$"));
    QMap<int, qint64> out;
    const QFileInfoList entries = QDir(dir).entryInfoList(QDir::Files);
    for (const QFileInfo& info : entries) {
        const QRegularExpressionMatch match = dataName.match(info.fileName());
        if (!match.hasMatch())
            continue;
        const int n = match.captured(1).toInt();
        if ((n <= kMasterLimit) == (match.captured(2) == QLatin1String("DAT")))
            out.insert(n, info.size());
    }
    return out;
}

}  // namespace

struct Session::Cached {
    Stamp master, emaster, xmaster;
    std::shared_ptr<Masters> masters;
};

struct Session::Kept {
    QHash<QString, Cached> cache;
    QSet<QString> repaired;
};

Session::Session() : kept_(std::make_unique<Kept>()) {}

Session::~Session() = default;

void Session::restart() { kept_->repaired.clear(); }

Folder::Folder(const QString& dir, Session* session)
    : dir_(QDir::cleanPath(dir)), session_(session), m_(std::make_shared<Masters>())
{
}

void Folder::keep()
{
    if (!session_)
        return;
    const QString d = dir_ + QLatin1Char('/');
    session_->kept_->cache.insert(dir_, {stampOf(d + kMaster), stampOf(d + kEmaster), stampOf(d + kXmaster), m_});
}

Masters& Folder::edit()
{
    if (session_)
        session_->kept_->cache.remove(dir_);
    if (m_.use_count() > 1)
        m_ = std::make_shared<Masters>(*m_);
    return *m_;
}

bool Folder::present(const QString& dir)
{
    // Any master file, even an empty one: a folder whose MASTER was cut to
    // nothing is a damaged database, not a free folder.
    // So is a folder of data files whose master files are gone.
    const QString d = QDir::cleanPath(dir) + QLatin1Char('/');
    if (files::size(d + kMaster) >= 0 || files::size(d + kEmaster) >= 0 || files::size(d + kXmaster) >= 0)
        return true;
    const QMap<int, qint64> data = dataFilesIn(d);
    return std::any_of(data.begin(), data.end(), [](qint64 size) { return size > kLongestHeader; });
}

QStringList Folder::salvagedSymbols(const QString& dir)
{
    const QString d = QDir::cleanPath(dir) + QLatin1Char('/');
    try {
        return salvageSymbols(files::read(d + kMaster), files::read(d + kEmaster), files::read(d + kXmaster));
    } catch (const Error&) {
        return {};
    }
}

void Folder::load()
{
    const QString d = dir_ + QLatin1Char('/');
    const Stamp master = stampOf(d + kMaster), emaster = stampOf(d + kEmaster), xmaster = stampOf(d + kXmaster);
    if (session_) {
        const auto& cache = session_->kept_->cache;
        const auto hit = cache.constFind(dir_);
        if (hit != cache.constEnd() && hit->master == master && hit->emaster == emaster && hit->xmaster == xmaster) {
            m_ = hit->masters;
            return;
        }
    }
    if (master.size < kMasterSize && (master.size >= 0 || emaster.size >= 0 || xmaster.size >= 0))
        throw Error(ErrorCode::Damaged, QStringLiteral("MASTER is missing or shorter than its header"));
    auto parsed = std::make_shared<Masters>(
        parseMasters(files::read(d + kMaster), files::read(d + kEmaster), files::read(d + kXmaster)));
    // Data files with records beside a master file that is missing or empty:
    // the entries naming them are lost, and a folder taken for empty would
    // get new securities over them.
    const QMap<int, qint64> data = dataFilesIn(dir_);
    for (auto it = data.begin(); it != data.end(); ++it) {
        if (it.value() <= kLongestHeader)
            continue;
        if (it.key() <= kMasterLimit && master.size <= 0)
            throw Error(ErrorCode::Damaged, QStringLiteral("MASTER is missing beside data files"));
        if (it.key() > kMasterLimit && xmaster.size <= 0)
            throw Error(ErrorCode::Damaged, QStringLiteral("XMASTER is missing beside data files"));
    }
    m_ = std::move(parsed);
    if (session_)
        session_->kept_->cache.insert(dir_, {master, emaster, xmaster, m_});
}

int Folder::find(const QString& symbol, const QString& dataFile) const
{
    const QString s = storableSymbol(symbol);
    if (!dataFile.isEmpty()) {
        for (size_t i = 0; i < m_->securities.size(); ++i) {
            const Security& sec = m_->securities[i];
            if (sec.dataFileName() == dataFile && sec.symbol.compare(s, Qt::CaseInsensitive) == 0)
                return static_cast<int>(i);
        }
    }
    for (size_t i = 0; i < m_->securities.size(); ++i) {
        if (m_->securities[i].symbol.compare(s, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

QString Folder::dataPath(int index) const
{
    return dir_ + QLatin1Char('/') + m_->securities.at(static_cast<size_t>(index)).dataFileName();
}

int Folder::recordCount(int index) const
{
    const datafile::Shape s = datafile::shape(dataPath(index), m_->securities.at(static_cast<size_t>(index)).layout);
    return std::min(s.counted, s.held);
}

std::vector<Record> Folder::records(int index) const
{
    return datafile::read(dataPath(index), m_->securities.at(static_cast<size_t>(index)).layout);
}

int Folder::nextFileNumber() const
{
    QSet<int> used;
    int inMaster = 0, highest = kMasterLimit;
    for (const Security& s : m_->securities) {
        used.insert(s.fileNumber);
        if (s.inMaster())
            ++inMaster;
        else
            highest = std::max(highest, s.fileNumber);
    }
    // A number no entry uses may still have a data file of records (one the
    // masters lost): it is never written over. An empty one is a leftover
    // of an add cut short and is taken again.
    const auto usable = [&](int n) {
        const QString name =
            QStringLiteral("F%1.%2").arg(n).arg(n <= kMasterLimit ? QStringLiteral("DAT") : QStringLiteral("MWD"));
        return !used.contains(n) && files::size(dir_ + QLatin1Char('/') + name) <= kLongestHeader;
    };
    if (inMaster < kMasterLimit) {
        for (int n = 1; n <= kMasterLimit; ++n) {
            if (usable(n))
                return n;
        }
    }
    for (int n = highest + 1; n <= 65535; ++n) {
        if (usable(n))
            return n;
    }
    throw Error(ErrorCode::Full, QStringLiteral("%1 has no file number left").arg(dir_));
}

QStringList Folder::unnamedDataFiles() const
{
    QSet<int> numbers;
    for (const Security& s : m_->securities)
        numbers.insert(s.fileNumber);
    QStringList out;
    const QMap<int, qint64> data = dataFilesIn(dir_);
    for (auto it = data.begin(); it != data.end(); ++it) {
        if (!numbers.contains(it.key()))
            out << QStringLiteral("F%1.%2").arg(it.key()).arg(it.key() <= kMasterLimit ? QStringLiteral("DAT")
                                                                                       : QStringLiteral("MWD"));
    }
    return out;
}

int Folder::add(const QString& symbol, const QString& name)
{
    Security s;
    s.fileNumber = nextFileNumber();
    s.symbol = storableSymbol(symbol);
    s.longName = storableName(name);
    s.name = s.longName.left(kShortNameLength).trimmed();
    s.layout = Layout::fromCount(7);
    // The data file first: a kill after it leaves a file no master names,
    // which readers ignore and the next repair removes.
    const QString path = dir_ + QLatin1Char('/') + s.dataFileName();
    files::create(path, datafile::encode(s.layout, {}));
    edit().securities.push_back(s);
    save(s.inMaster(), s.inMaster(), !s.inMaster());
    return count() - 1;
}

void Folder::setRecords(int index, std::vector<Record> records)
{
    if (records.size() > static_cast<size_t>(kMaxRecords))
        throw Error(ErrorCode::Full,
                    QStringLiteral("%1 would hold more than %2 records").arg(dataPath(index)).arg(kMaxRecords));
    std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) { return a.date < b.date; });
    const Security& s = m_->securities.at(static_cast<size_t>(index));
    files::replace(dataPath(index), datafile::encode(s.layout, records));
    saveDates(index, records.empty() ? 0 : records.front().date, records.empty() ? 0 : records.back().date);
}

void Folder::append(int index, const std::vector<Record>& records)
{
    if (records.empty())
        return;
    const Security& s = m_->securities.at(static_cast<size_t>(index));
    const QString path = dataPath(index);
    const datafile::Shape shape = datafile::shape(path, s.layout);
    if (!shape.exists)
        files::create(path, datafile::encode(s.layout, {}));
    const int counted = std::min(shape.counted, shape.held);
    datafile::append(path, s.layout, counted, records);
    saveDates(index, counted == 0 ? records.front().date : s.firstDate, records.back().date);
}

void Folder::change(int index, int at, const Record& record)
{
    const Security& s = m_->securities.at(static_cast<size_t>(index));
    datafile::replaceAt(dataPath(index), s.layout, at, record);
}

void Folder::rename(int index, const QString& name)
{
    Security& s = edit().securities.at(static_cast<size_t>(index));
    const QString longName = storableName(name);
    const QString shortName = longName.left(kShortNameLength).trimmed();
    if (!s.inMaster()) {
        s.longName = longName;
        s.name = shortName;
        save(false, false, true);
        return;
    }
    // EMASTER's long name must begin with MASTER's name: clear it, change
    // MASTER, then give EMASTER the new one, so no step leaves a mismatch.
    s.longName.clear();
    s.name = shortName;
    save(false, true, false);
    save(true, false, false);
    s.longName = longName;
    save(false, true, false);
}

void Folder::saveDates(int index, qint32 first, qint32 last)
{
    const Security& current = m_->securities.at(static_cast<size_t>(index));
    if (current.firstDate == first && current.lastDate == last)
        return;
    Security& s = edit().securities.at(static_cast<size_t>(index));
    s.firstDate = first;
    s.lastDate = last;
    const bool entriesOnDisk =
        s.inMaster() ? m_->emasterMatched && s.master.size() == kMasterSize && s.emaster.size() == kEmasterSize
                     : s.xmaster.size() == kXmasterSize;
    if (!entriesOnDisk) {
        save(s.inMaster(), s.inMaster(), !s.inMaster());
        return;
    }
    // Only dates change: each master file gets one write of its entry's date
    // fields in place, which a kill cannot cut in two (replacing a whole
    // master file costs far more than the append it follows).
    int position = 0;
    for (int i = 0; i < index; ++i)
        position += m_->securities[static_cast<size_t>(i)].inMaster() == s.inMaster() ? 1 : 0;
    const QString d = dir_ + QLatin1Char('/');
    if (s.inMaster()) {
        s.emaster = emasterEntry(s);
        s.master = masterEntry(s);
        files::writeAt(d + kEmaster, static_cast<qint64>(position + 1) * kEmasterSize + 64, s.emaster.mid(64, 66));
        files::writeAt(d + kMaster, static_cast<qint64>(position + 1) * kMasterSize + 25, s.master.mid(25, 8));
    } else {
        s.xmaster = xmasterEntry(s);
        files::writeAt(d + kXmaster, static_cast<qint64>(position + 1) * kXmasterSize + 104, s.xmaster.mid(104, 16));
    }
    keep();
}

void Folder::save(bool master, bool emaster, bool xmaster)
{
    const QString d = dir_ + QLatin1Char('/');
    edit();
    const QByteArray mb = masterBytes(*m_), eb = emasterBytes(*m_), xb = xmasterBytes(*m_);
    // XMASTER only once a security needs it. MASTER before EMASTER: a kill
    // between them leaves counts that differ, readers use MASTER alone until
    // the next repair, and a new folder never has an EMASTER without MASTER.
    if (xmaster && !xb.isEmpty())
        files::replace(d + kXmaster, xb);
    if (master)
        files::replace(d + kMaster, mb);
    if (emaster)
        files::replace(d + kEmaster, eb);

    // Keep the entries as written, so the next rewrite starts from them.
    m_->masterHeader = mb.left(kMasterSize);
    m_->emasterHeader = eb.left(kEmasterSize);
    m_->xmasterHeader = xb.left(kXmasterSize);
    int inMaster = 0, inX = 0;
    for (Security& s : m_->securities) {
        if (s.inMaster()) {
            s.master = mb.mid((inMaster + 1) * kMasterSize, kMasterSize);
            s.emaster = eb.mid((inMaster + 1) * kEmasterSize, kEmasterSize);
            ++inMaster;
        } else {
            s.xmaster = xb.mid((inX + 1) * kXmasterSize, kXmasterSize);
            ++inX;
        }
    }
    if (emaster)
        m_->emasterMatched = true;
    keep();
}

void Folder::repair()
{
    if (session_ && session_->kept_->repaired.contains(dir_))
        return;
    QDir folder(dir_);
    for (const QString& name :
         folder.entryList({QLatin1String(files::kTempPrefix) + QLatin1Char('*')}, QDir::Files | QDir::Hidden))
        folder.remove(name);

    edit();
    bool master = false, emaster = !m_->emasterMatched && !m_->securities.empty() && m_->securities.front().inMaster();
    bool xmaster = false;
    for (int i = 0; i < count(); ++i) {
        Security& s = m_->securities[static_cast<size_t>(i)];
        const QString path = dataPath(i);
        const datafile::Shape shape = datafile::shape(path, s.layout);
        if (!shape.exists)
            continue;  // not ours to invent
        if (shape.trailing) {
            // A record cut short: keep the whole ones.
            QByteArray bytes = files::read(path);
            bytes.truncate((shape.held + 1) * s.layout.recordSize());
            files::replace(path, bytes);
        }
        if (shape.counted != shape.held) {
            // Records written before a kill kept their header from counting
            // them; a header counting records the file lacks claims too much.
            QByteArray count(2, '\0');
            count[0] = static_cast<char>((shape.held + 1) & 0xFF);
            count[1] = static_cast<char>((shape.held + 1) >> 8);
            files::writeAt(path, 2, count);
        }
        Record first, last;
        const bool any = datafile::ends(path, s.layout, &first, &last);
        const qint32 f = any ? first.date : 0, l = any ? last.date : 0;
        if (s.firstDate != f || s.lastDate != l) {
            s.firstDate = f;
            s.lastDate = l;
            (s.inMaster() ? master : xmaster) = true;
        }
    }
    emaster = emaster || master;
    if (master || emaster || xmaster)
        save(master, emaster, xmaster);

    // A data file no entry names is never removed: it may hold the only copy
    // of a security's records (the map rebuild reports it).
    if (session_)
        session_->kept_->repaired.insert(dir_);
}

}  // namespace mslink
