#include "runs/runexports.h"

#include "support/folders.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/paths.h"
#include "writers/formatregistry.h"
#include "writers/textio.h"

#include <algorithm>

RunExports::RunExports(RunKind kind, WriteCounts& counts, std::function<void(const QString&)> panel, bool unattended,
                       QChar only)
    : files_(kind == RunKind::Historical), run_(kind, files_, counts, std::move(panel)), onlyOne_(!only.isNull())
{
    const ExportFormat* wanted = onlyOne_ ? formats::find(only) : nullptr;
    for (const ExportFormat& f : formats::registry()) {
        if (!f.isOn() || (onlyOne_ && &f != wanted))
            continue;
        if (f.hasFolder()) {
            const QString folder = paths::withTrailingSlash(f.chosen().folder);
            if (const QString why = folders::unusable(folder); !why.isEmpty()) {
                const QString text = folders::leftOutText(f.name(), folder, why);
                WriteLog(text);
                if (!unattended)
                    msgBox(text, Icon::Critical);
                counts.notes << text;
                counts.leftOut << f.name();
                continue;
            }
        }
        writers_.push_back(f.makeWriter(f));
    }
}

RunExports::~RunExports() = default;

bool RunExports::createStaging()
{
    if (onlyOne_ && std::none_of(writers_.begin(), writers_.end(), [](const auto& w) { return w->stages(); }))
        return true;
    return files_.createStaging();
}

bool RunExports::begin()
{
    bool goOn = true;
    for (const auto& w : writers_)
        goOn = w->begin(run_) && goOn;
    return goOn;
}

bool RunExports::writeBatch(CurrentBatch& batch)
{
    batch.serial = ++serial_;
    struct Forget {
        textio::KeptTails& kept;
        ~Forget() { kept.clear(); }
    } forget{run_.keptTails()};
    for (auto w = writers_.begin(); w != writers_.end(); ++w) {
        if (!(*w)->writeBatch(batch, run_)) {
            // Abort: the formats after this one get nothing of the batch.
            while (++w != writers_.end())
                run_.notWritten(static_cast<int>(batch.quotes.size()));
            return false;
        }
    }
    return true;
}

bool RunExports::writeHistory(const QString& ticker, const QString& name, const QVector<core::Bar>& days,
                              HistoryStep step)
{
    const HistoryBlock block(ticker, name, days, ++serial_);
    for (const auto& w : writers_) {
        if (w->historyStep() == step && !w->writeHistory(block, run_))
            return false;
    }
    return true;
}

bool RunExports::idle() const
{
    for (const auto& w : writers_) {
        if (!w->idle())
            return false;
    }
    return true;
}

bool RunExports::finish()
{
    if (!closed_) {
        files_.close();
        closed_ = true;
    }
    while (finishing_ < writers_.size()) {
        FormatWriter& w = *writers_[finishing_];
        if (!finishStarted_) {
            finishStarted_ = true;
            w.finish(run_);
        }
        if (!w.idle())
            return false;
        ++finishing_;
        finishStarted_ = false;
    }
    return true;
}

void RunExports::stop()
{
    for (const auto& w : writers_)
        w->stop();
}
