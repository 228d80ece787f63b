#pragma once

#include "writers/formatregistry.h"

#include <QString>
#include <QStringList>

// What the location window shows and stores for one format letter. The
// window and the headless "format" command both go through this class.
struct LocationChoice {
    bool selected = false;
    QString folder;                             // ends with "/"
    bool longNames = false;                     // S, C, K, D
    QString extension = QStringLiteral("PRN");  // P: PRN, TXT, ASC or CSV
    bool openInterest = false;                  // P
    QString importCommand;                      // A: the command that imports ami2.txt
};

class FormatLocation {
public:
    // `letter` must be one of the ten format letters.
    explicit FormatLocation(QChar letter);
    const ExportFormat& format() const { return *format_; }

    // The format's stored choice. Changes nothing: a folder that is gone
    // for a while (a disk not mounted) keeps its setting.
    LocationChoice load() const;

    // Switching the format on: false, with the reason shown, for a format the
    // program cannot write. Excel needs a writable folder (the choice's,
    // else the stored one), AmiBroker an import command whose program exists.
    bool canSwitchOn() const;
    // `why` gets the reason in words for a terminal.
    bool canSwitchOn(const LocationChoice& choice, QString* why = nullptr) const;

    // OK: stores the choice in the settings row and the running settings.
    // False, with the reason shown and nothing stored, when refused (a
    // format switched on with a folder that is missing, read-only or full).
    bool accept(const LocationChoice& choice);

    // The combo entries of the PRN run-file extension and the entry of an
    // extension as stored.
    static const QStringList& extensions();
    static int extensionIndex(const QString& extension);

    // The MetaStock maximum of symbols per folder: 255, 2000, 6000 or 999999
    // (unlimited). Stored at once; false for any other value.
    static bool setMaxSymbols(int maximum);

private:
    const ExportFormat* format_;
};

// The Maakfolder window's OK: creates `name` below `parent`. Returns the new
// folder (ending with "/"), or an empty text after showing why not.
QString makeFolder(const QString& parent, const QString& name);
