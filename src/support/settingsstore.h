#pragma once

#include <QString>

// The per-user settings store: text values under section "Settings" of
// Quotaris.conf. Key names are matched without regard to case, so a key
// written as "metaversion" is read back as "Metaversion".
namespace store {

// The stored text of `key`, or `defaultText` when the key is missing.
QString read(const QString& key, const QString& defaultText);

// Stores `text` under `key`; an existing key that differs only in case is
// overwritten rather than kept beside it.
void write(const QString& key, const QString& text);

// Writes pending changes to disk (QSettings also does so on its own).
void sync();
// Writes pending changes and lets go of the file; the next access reads it
// afresh.
void close();

}  // namespace store
