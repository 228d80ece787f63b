#pragma once

#include "quotes/integrity.h"
#include "writers/quote.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QVector>
#include <optional>

// Reading back the per-symbol files the writers keep (ASCII C, Stockguru S,
// Advanced GET D, KBF K): every day of a file, or only its latest, and
// rewriting a file's days in its own layout.
namespace checkfiles {

struct StoredFile {
    QChar letter;
    QString base;         // Stockguru: the first field of the lines
    QVector<Quote> days;  // in file order; KBF days have no open (the close stands in)
    int unreadLines = 0;  // lines without a readable date
};

// The layout a file's first bytes show: C, S or D for a text file whose
// first dated line reads in that layout, K for a file of whole 14-byte
// records that is no text; nothing otherwise.
std::optional<QChar> formatOf(const QByteArray& content);

// Every day of `path` read as `letter`; nothing when the file cannot be
// read or is not of that layout.
std::optional<StoredFile> read(const QString& path, QChar letter);
std::optional<StoredFile> parse(const QByteArray& content, QChar letter);

// The latest day of a text file (C, S or D), reading only its end; nothing
// when there is no file or no dated line.
std::optional<integrity::Bar> lastDay(const QString& path, QChar letter);

// The days as numbers for the check.
QVector<integrity::Bar> bars(const QVector<Quote>& days);

// The file's content with `days` in its layout (CR LF line ends).
QByteArray content(const StoredFile& file);

// Replaces `path` with `file` through a temporary file renamed over it; the
// old content is kept beside it as `path` + ".bak" (replacing an older
// one). False when either could not be written.
bool rewrite(const QString& path, const StoredFile& file, QString* error);

}  // namespace checkfiles
