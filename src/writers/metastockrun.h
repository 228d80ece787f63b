#pragma once

#include "mslink/folder.h"
#include "support/cancel.h"
#include "support/errors.h"

#include <QSet>
#include <QString>
#include <functional>
#include <memory>

class Database;

// Run-wide state of the MetaStock writer: where new symbols went, the
// "Don't ask again" choice, the map connection, the folders reported as
// damaged and the folders' session. The run's MetaStock writer owns one (a
// command that works on the folders, its own), so each run starts afresh.
struct MetastockRunState {
    MetastockRunState();
    ~MetastockRunState();
    MetastockRunState(const MetastockRunState&) = delete;
    MetastockRunState& operator=(const MetastockRunState&) = delete;

    // The run's connection to the symbol database (opened when first needed).
    Database& db();

    QString lastFolder;  // the folder last chosen in this run, ending with "/"
    bool dontAskAgain = false;
    QString symbolTicker;  // the symbol being placed, for the prompt
    QString symbolName;
    QSet<QString> reportedDamaged;
    QString placedFile;  // the data file of the security last added in placing a symbol
    // Tickers not written because a folder cannot tell them apart from
    // another ticker's security: "TICKER (as SYMBOL, held by OTHER)".
    QStringList indistinct;
    // The master files read and the folders repaired in this run.
    mslink::Session session;

private:
    std::unique_ptr<Database> db_;
};

// The decisions only a window can take for the MetaStock writer. The GUI
// installs one; without it (headless, tests) new symbols are placed by rule
// and the map is rebuilt without a window.
class MetastockPrompt {
public:
    virtual ~MetastockPrompt() = default;
    // Asks where symbol `name` goes (the location window in mode "T"),
    // starting at `startFolder`. `place` takes the folder chosen with OK and
    // the "Don't ask again" box; it returns false to keep the window open,
    // with `resetToRoot` set when the tree must go back to the root. Returns
    // the accepted folder, or an empty text after Cancel.
    using Place = std::function<bool(const QString& folder, bool dontAskAgain, bool* resetToRoot)>;
    virtual QString askFolder(const QString& name, const QString& startFolder, const QString& root,
                              const Place& place) = 0;
    // Runs `scan` while the load window shows; `scan` reports progress
    // through the callback it is given and stops once the token it is given
    // is cancelled: the window's own, which closing the window cancels, made
    // with `run` (the Stop of the run that asked, when given) as its outer
    // token.
    using Progress = std::function<void(int value, int maximum)>;
    using Scan = std::function<void(const Progress&, const CancelToken& stop)>;
    virtual void showMapLoad(const CancelToken* run, const Scan& scan) = 0;
};

// The installed prompt, or nullptr. Not owned.
MetastockPrompt* metastockPrompt();
void setMetastockPrompt(MetastockPrompt* prompt);

namespace metastock {

// The MetaStock root folder, ending with "/".
QString root();
// The maximum of securities per folder.
int maximum();

// Runs a step on a MetaStock folder. A folder in use by another program
// asks OK (try again) or Cancel (skip the step); a damaged folder is
// reported once per run and skipped. Other failures go to the standard
// error dialog, or, with `skipOthers`, are logged and skip the step.
StepOutcome step(MetastockRunState& run, const QString& folder, const std::function<void()>& work,
                 bool skipOthers = false);

// Tells the user once per run that `folder` is damaged and left alone.
void reportDamaged(MetastockRunState& run, const QString& folder, const QString& why);

// The number of securities in `folder`: 0 without a database, -1 when it
// cannot be read (reported as damaged).
int securityCount(MetastockRunState& run, const QString& folder);

}  // namespace metastock
