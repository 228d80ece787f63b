#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class clsData;

// Reading a text file of symbols and putting them on a list.
namespace listimport {

// Files of this size or larger are refused.
constexpr qint64 kTooBig = 63001;
// Longer fields are cut to this many characters.
constexpr int kMaxSymbolLength = 20;

// Why the bytes are not a text file of symbols ("holds NUL bytes", "holds
// binary data"); empty when they are.
QString notText(const QByteArray& bytes);

// The symbols of a file's text: fields end at a comma or a line end (CR LF,
// LF or CR), surrounding double quotes are removed, blanks around a field
// dropped; each non-empty field is cut to 20 characters. A field that holds
// a comma, a quote or a control character is no symbol: it goes to
// `refused`. UTF-16 and UTF-8 are read by their byte-order mark, text that
// is valid UTF-8 as such, anything else one byte one character.
QStringList parse(const QByteArray& bytes, QStringList* refused = nullptr);

struct FileResult {
    QStringList entries;
    QStringList refused;  // fields that are no symbol, left out
    bool tooBig = false;  // refused with "File to big"
    QString error;        // the file could not be read, or is not text
};

// Reads `path` (refusing large files before reading them).
FileResult readFile(const QString& path);

struct Progress {
    std::function<void(int index)> entry;        // before entry `index` is added
    std::function<void(const QString&)> status;  // "Importing i from n", "n Imported"
};

struct Result {
    int added = 0;         // symbols that were stored or put on the list
    int failed = 0;        // entries that could not be stored (a full disk...)
    bool aborted = false;  // the user chose Abort in the error dialog
    QString error;         // why the last store failed
};

// Puts every entry on list `listNumber`: an unknown symbol is added under
// the market "Unknown" with its ticker as name, a known one only gets the
// list flag.
Result importSymbols(clsData& data, const QStringList& entries, int listNumber, const Progress& progress = {});

}  // namespace listimport
