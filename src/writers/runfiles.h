#pragma once

#include "writers/quote.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <memory>

// The files a download run collects all its quotes in: the Vision2000 and
// Vikingen files, and the staging files ami1.txt (source of the PRN run file)
// and ami2.txt (the AmiBroker import) in the data folder.
namespace runfiles {

inline const QByteArray kStagingHeader = QByteArrayLiteral("<TICKER>,<DTYYYYMMDD>,<OPEN>,<HIGH>,<LOW>,<CLOSE>,<VOL>");

// Vision2000 market code of a ticker: QR, QRX, QRIDX, QR + exchange, QRUS.
QString marketCode(const QString& ticker);

// Each ends with CR LF. `current`: prices with a decimal comma get a point
// (quotes of a current run; historical ones already have one).
QByteArray visionLine(const Quote& quote, bool current);
QByteArray vikingenRecord(const Quote& quote, bool current);
QByteArray ami1Line(const Quote& quote, const QString& h11);
QByteArray ami2Line(const Quote& quote, const QString& time, bool current);
// The same lines appended to `out`.
void appendVisionLine(QByteArray& out, const Quote& quote, bool current);
void appendVikingenRecord(QByteArray& out, const Quote& quote, bool current);
void appendAmi1Line(QByteArray& out, const Quote& quote, const QString& h11);
void appendAmi2Line(QByteArray& out, const Quote& quote, const QString& time, bool current);

// Creates this run's Vision2000 (folder h3) or Vikingen (folder h5) file with
// its header line under the first free name of `day`; returns its path.
// Throws FileError when it cannot be created.
QString createVisionFile(bool historical, const QDate& day = QDate::currentDate());
QString createVikingenFile(bool historical, const QDate& day = QDate::currentDate());

// Creates ami1.txt with its header and ami2.txt, empty for a current run and
// with the header for a historical one. Throws FileError.
void createStagingFiles(bool historical);

// The PRN run file of `day` (folder prn, extension h12): the first free
// name, or the 5000th when all are taken.
QString runFileName(bool historical, const QDate& day = QDate::currentDate());

// Closes the run's open files and copies ami1.txt to runFileName(); returns
// the target. Throws FileError; the target is replaced whole or not at all.
QString copyRunFile(bool historical, const QDate& day = QDate::currentDate());

}  // namespace runfiles

// A file a run appends to: opened at the first write, flushed after every
// write so readers see whole lines, closed by close() or with every other
// open file (the Abort of the error dialog).
class AppendFile {
public:
    explicit AppendFile(const QString& path = {});
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    void setPath(const QString& path);
    QString path() const { return path_; }
    bool isOpen() const;
    // Throws FileError when the file cannot be opened or written.
    void write(const QByteArray& bytes);
    void close();

private:
    QString path_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
