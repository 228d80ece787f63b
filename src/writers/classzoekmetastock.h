#pragma once

#include "support/cancel.h"

#include <QString>

struct MetastockRunState;

// Finds the MetaStock folder of a symbol, or places a symbol that is in no
// folder yet: through the location window in mode "T" where a window can
// ask, else by rule (the folder last chosen in this run when it has room,
// else the first folder below the root with room, else a new folder
// ROOT/Q001, Q002, ...). Set ticker and tickername, call go(), read
// gevonden().
class classzoekmetastock {
public:
    // `run` outlives the search.
    explicit classzoekmetastock(MetastockRunState& run) : run_(run) {}

    void ticker(const QString& value) { ticker_ = value.trimmed(); }
    void tickername(const QString& value) { name_ = value.trimmed(); }
    void go();
    // The folder found or chosen, ending with "/"; empty when the symbol is
    // not to be written.
    QString gevonden() const { return folder_; }
    // The data file of the symbol's security in that folder ("F12.DAT"),
    // when the map knows it.
    QString dataFile() const { return file_; }

    // For a ticker the quote service replaced: the old ticker's folder and
    // the stored security's name. Changes nothing in the databases.
    struct Stored {
        QString folder;
        QString name;
    };
    static Stored changeticker(MetastockRunState& run, const QString& oldTicker, const QString& newTicker);

    // The OK of the location window in mode "T" for the symbol being placed:
    // checks `folder` and adds the security there. False keeps the window
    // open (with `resetToRoot` when the tree must go back to the root).
    static bool placeInFolder(MetastockRunState& run, const QString& folder, bool dontAskAgain, bool* resetToRoot);

public:
    // The run's Stop: nothing is searched.
    void cancelWith(const CancelToken* token) { cancel_ = token; }

private:
    MetastockRunState& run_;
    const CancelToken* cancel_ = nullptr;
    void found(const QString& folder);
    bool indistinct();
    void place();
    QString placeByRule();

    QString ticker_, name_, folder_, file_;
};
