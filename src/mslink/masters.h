#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

// The three master files of a MetaStock folder: MASTER and EMASTER list the
// securities with file numbers 1 to 255, XMASTER those of 256 and up.
namespace mslink {

constexpr int kMasterSize = 53;
constexpr int kEmasterSize = 192;
constexpr int kXmasterSize = 150;
constexpr int kMasterLimit = 255;  // file numbers MASTER can hold
constexpr int kSymbolLength = 14;
constexpr int kShortNameLength = 16;
constexpr int kLongNameLength = 45;  // what every reader reads of a long name
constexpr int kMaxRecords = 65534;

// The fields of a data record and where each sits (-1: absent).
struct Layout {
    int fields = 7;
    int date = 0, time = -1, open = 1, high = 2, low = 3, close = 4, volume = 5, openInterest = 6;

    int recordSize() const { return 4 * fields; }
    quint8 bits() const;
    // From the field bitset of EMASTER or XMASTER: 01 date, 02 high, 04 low,
    // 08 close, 10 volume, 20 open, 40 open interest, 80 time.
    static Layout fromBits(quint8 bits);
    // From a field count alone (MASTER): 5 D H L C V, 6 D O H L C V,
    // 7 D O H L C V OI, 8 D T O H L C V OI.
    static Layout fromCount(int fields);
};

struct Security {
    int fileNumber = 0;
    QString symbol;    // at most 14 characters
    QString name;      // MASTER's 16 characters, trimmed
    QString longName;  // EMASTER's or XMASTER's name; may be empty
    Layout layout;
    qint32 firstDate = 0, lastDate = 0;  // YYYYMMDD, 0 without records

    // The entries as read, so bytes this library does not manage survive a
    // rewrite; empty for a new security.
    QByteArray master, emaster, xmaster;

    bool inMaster() const { return fileNumber <= kMasterLimit; }
    QString displayName() const { return longName.isEmpty() ? name : longName; }
    QString dataFileName() const;  // F<n>.DAT or F<n>.MWD
};

struct Masters {
    std::vector<Security> securities;  // MASTER's order, then XMASTER's
    QByteArray masterHeader, emasterHeader, xmasterHeader;
    bool emasterMatched = true;  // EMASTER listed the same securities as MASTER
};

// A name as the folder can hold it: Latin-1, no control characters, blanks
// trimmed, at most 45 characters.
QString storableName(const QString& name);
// A symbol as the folder can hold it: trimmed, at most 14 characters.
QString storableSymbol(const QString& symbol);

// Reads the master files' bytes (an empty array for a missing file). Throws
// Error(Damaged) when MASTER or XMASTER cannot be trusted; an EMASTER that
// does not match MASTER is ignored (emasterMatched false).
Masters parseMasters(const QByteArray& master, const QByteArray& emaster, const QByteArray& xmaster);

// The symbols the entries of damaged master files still name, read
// without trusting their counts: every whole entry with a printable symbol.
// For knowing which symbols a folder that cannot be opened holds.
QStringList salvageSymbols(const QByteArray& master, const QByteArray& emaster, const QByteArray& xmaster);

// One security's entry in each master file.
QByteArray masterEntry(const Security& s);
QByteArray emasterEntry(const Security& s);
QByteArray xmasterEntry(const Security& s);

// The files' bytes for the securities; XMASTER is empty when no security
// needs it.
QByteArray masterBytes(const Masters& m);
QByteArray emasterBytes(const Masters& m);
QByteArray xmasterBytes(const Masters& m);

}  // namespace mslink
