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

// The symbols of a file's text: fields end at a comma or a line end (CR LF,
// LF or CR), surrounding double quotes are removed, blanks around a field
// dropped, control characters read as blanks; each non-empty field is cut
// to 20 characters. Text that is valid UTF-8 is read as such, anything else
// one byte one character.
QStringList parse(const QByteArray& bytes);

struct FileResult {
    QStringList entries;
    bool tooBig = false;  // refused with "File to big"
    QString error;        // the file could not be read
};

// Reads `path` (refusing large files before reading them).
FileResult readFile(const QString& path);

struct Progress {
    std::function<void(int index)> entry;        // before entry `index` is added
    std::function<void(const QString&)> status;  // "Importing i from n", "n Imported"
};

struct Result {
    int added = 0;         // symbols that were stored or put on the list
    bool aborted = false;  // the user chose Abort in the error dialog
};

// Puts every entry on list `listNumber`: an unknown symbol is added under
// the market "Unknown" with its ticker as name, a known one only gets the
// list flag.
Result importSymbols(clsData& data, const QStringList& entries, int listNumber, const Progress& progress = {});

}  // namespace listimport
