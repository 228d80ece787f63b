#pragma once

#include <QString>
#include <stdexcept>

namespace mslink {

// Numbers of the failures the library reports.
enum class ErrorCode {
    InUse = 1652,       // another process holds the folder's lock
    Damaged = 1653,     // a master file that cannot be trusted
    NoSecurity = 1654,  // no security of that symbol, or none selected
    NoRecord = 1655,    // no record of that date
    Full = 1656,        // no file number or record left
    Io = 1657,          // a file could not be read or written
    NoFolder = 1658,    // no folder open
};

class Error : public std::runtime_error {
public:
    Error(ErrorCode code, const QString& text) : std::runtime_error(text.toStdString()), code_(code), text_(text) {}
    ErrorCode code() const { return code_; }
    int number() const { return static_cast<int>(code_); }
    QString text() const { return text_; }

private:
    ErrorCode code_;
    QString text_;
};

}  // namespace mslink
