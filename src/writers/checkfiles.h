#pragma once

#include "quotes/integrity.h"
#include "writers/quote.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QVector>
#include <array>
#include <optional>

namespace textio {
class KeptTails;
}

// Reading back the per-symbol files the writers keep (ASCII C, Stockguru S,
// Advanced GET D, KBF K): every day of a file, or only its latest, and
// changing the values of some days in place, every other byte kept.
namespace checkfiles {

// A line (text) or record (KBF) that holds no readable day.
struct Unreadable {
    int number = 0;  // from 1
    QString why;     // what was wrong, with the text of a line
};

struct StoredFile {
    QChar letter;
    QString base;         // Stockguru: the first field of the lines
    QVector<Quote> days;  // in file order; KBF days have no open (the close stands in)
    // Where the open, high, low, close and volume of each day are in the
    // content read: offset and length (text: the field without blanks; KBF:
    // the bytes of the record, no place for the open).
    struct Place {
        qsizetype at = -1, size = 0;
    };
    QVector<std::array<Place, 5>> places;  // one per day
    QVector<Unreadable> unreadable;        // in file order
};

// The layout a file's content shows beyond doubt: C, S or D for text whose
// dated lines read in exactly one of them, K for binary content of whole
// records with valid dates in ascending order. Nothing when no layout or
// more than one fits; `why` then says which, `fits` whether any does.
std::optional<QChar> formatOf(const QByteArray& content, QString* why = nullptr, bool* fits = nullptr);

// Every day of `content` read as `letter`, with every line or record that
// holds none; nothing for a letter without a per-symbol layout. A text
// file's trailing end-of-file marks (^Z) are no line.
std::optional<StoredFile> parse(const QByteArray& content, QChar letter);
std::optional<StoredFile> read(const QString& path, QChar letter);

// The latest day of a text file (C, S or D), reading only its end; nothing
// when there is no file or no dated line. The end read goes to `kept`, when
// given, for the file's writer to take over.
std::optional<integrity::Bar> lastDay(const QString& path, QChar letter, textio::KeptTails* kept = nullptr);

// The days as numbers for the check.
QVector<integrity::Bar> bars(const QVector<Quote>& days);

// `content` (which `file` was read from) with each field of `changed` (the
// days of `file`, in the same order) that differs from the one read put in
// its place, in the file's own layout; every other byte stays as it was.
QByteArray patched(const QByteArray& content, const StoredFile& file, const QVector<Quote>& changed);

// The first of `path`.bak, `path`.bak.1, `path`.bak.2, ... that does not
// exist: where the old content of a repaired file goes.
QString backupName(const QString& path);

// Replaces `path` by `content` after copying the old file to backupName();
// `backup` gets the name used. False (and `error`) when either could not be
// written; the file is then as it was.
bool rewrite(const QString& path, const QByteArray& content, QString* backup, QString* error);

}  // namespace checkfiles
