#pragma once

#include <QFileDevice>
#include <QString>
#include <functional>
#include <stdexcept>

// A failure of an operation, with a number and a description as the error
// dialog shows them ("Error <number>" over the description).
class AppError : public std::runtime_error {
public:
    AppError(int number, const QString& description);
    int number() const { return number_; }
    QString description() const { return description_; }

private:
    int number_;
    QString description_;
};

// The error numbers the program reports. Out of memory keeps its classic
// number 7; file errors use the numbers users know from the dialog.
namespace errnum {
constexpr int OutOfMemory = 7;
constexpr int FileNotFound = 53;
constexpr int DeviceIo = 57;
constexpr int DiskFull = 61;
constexpr int BadFileName = 64;
constexpr int PermissionDenied = 70;
constexpr int PathFileAccess = 75;
constexpr int PathNotFound = 76;
constexpr int FileCorrupt = 321;
}  // namespace errnum

// A failed file operation; the description names the file and the cause.
class FileError : public AppError {
public:
    // From the state of `file` after a failed open, read or write.
    FileError(const QFileDevice& file, const QString& what);
    FileError(int number, const QString& description) : AppError(number, description) {}
    // From an errno of a failed system call on `file`.
    static FileError fromErrno(int error, const QString& what, const QString& file);
};

enum class DialogAnswer { Retry = 0, Ignore = 1, Abort = 2 };

// Shows the standard error dialog for `error` (buttons Abort, Retry,
// Ignore; title "Error " + number) and returns the answer.
DialogAnswer ErrorDialog(const AppError& error);

enum class StepOutcome { Done, Ignored, Aborted };

// Runs `step` under the error dialog: a failure asks the user; Retry runs the
// step again, Ignore goes on (Ignored), Abort closes every open file and
// returns Aborted, upon which the caller leaves its operation.
StepOutcome guarded(const std::function<void()>& step);
