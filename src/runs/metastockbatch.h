#pragma once

#include "writers/quote.h"

#include <QString>
#include <QVector>
#include <functional>

// The MetaStock part of a download run.
namespace metastockbatch {

// At the start of a run: forgets the folder choices of an earlier run and,
// with MetaStock on, rebuilds the ticker-to-folder map (in the load window
// where one is installed).
void startRun();

// Writes a batch of current quotes to MetaStock, one metaclass per quote;
// `panel2` shows the progress. Counts quotes written and not written.
// Returns false when the user chose Abort.
bool writeBatch(const QVector<Quote>& quotes, const std::function<void(const QString&)>& panel2, int& written,
                int& failures);

}  // namespace metastockbatch
