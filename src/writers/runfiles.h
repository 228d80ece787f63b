#pragma once

#include "writers/quote.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <memory>
#include <vector>

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

// The files of one download run: the staging files ami1.txt and ami2.txt,
// which the AmiBroker and PRN formats share, and the run files the formats
// create (Vision2000, Vikingen). Every file is closed by close(), before the
// whole-run exports read them, or with every other open file.
class RunFiles {
public:
    explicit RunFiles(bool historical);
    ~RunFiles();
    RunFiles(const RunFiles&) = delete;
    RunFiles& operator=(const RunFiles&) = delete;

    bool historical() const { return historical_; }

    // Creates the staging files (see createStagingFiles). False when the
    // user chose Abort in the error dialog.
    bool createStaging();
    AppendFile& ami1() { return ami1_; }
    AppendFile& ami2() { return ami2_; }

    // What the staging files took of the batch or block staged last: the
    // formats that share them stage each batch once and read this.
    struct Staged {
        int serial = -1;
        int quotes = 0;            // quotes staged
        bool ami1Written = false;  // a history block's ami1.txt lines are on disk
    };
    Staged& staged() { return staged_; }

    // A run file made by `create` (historical, today), under the error
    // dialog. Null when it could not be made; `aborted` set on Abort.
    AppendFile* create(QString (*create)(bool historical, const QDate& day), bool* aborted);

    void close();

private:
    bool historical_;
    AppendFile ami1_, ami2_;
    std::vector<std::unique_ptr<AppendFile>> files_;
    Staged staged_;
};
