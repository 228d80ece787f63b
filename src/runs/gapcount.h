#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <memory>

namespace gapfill {

class GapFill;

// The start page's gaps: how many symbols of the lists have open gaps in
// the quote store, by the gap fill's own survey (gapfill::survey), and a
// gap fill of them. The survey is made again only when something it reads
// changed since the last one (the store, its write-ahead log or the symbol
// database), after a fill, or after invalidate(): a refresh of the page
// with nothing changed reads nothing.
class GapCount : public QObject {
    Q_OBJECT
public:
    // The sessions of each market looked at, as a current run's gap fill.
    static constexpr int kSessions = 30;

    struct Figure {
        int symbols = -1;  // with open gaps (missing sessions, earlier provisional days); -1: no store, or unreadable
        int asking = 0;    // a fill would ask for them now (the others were asked after their latest session)
    };

    explicit GapCount(QObject* parent = nullptr);
    ~GapCount() override;

    // The figure, surveyed again when needed (see above); while a fill runs,
    // the one from before it.
    const Figure& figure();
    // The next figure() surveys again.
    void invalidate() { stamp_.clear(); }
    // Surveys made so far.
    int surveys() const { return surveys_; }

    // Starts a gap fill of every list's symbols over their markets' last
    // kSessions sessions: one history request per symbol that asks
    // something, through the quote client, into the store and every format
    // that is on, holding the data folder's run lock (a run already holding
    // it refuses the fill with its message). False, with a message, when
    // there is nothing to ask for; `finished` follows a true return, after
    // the outcome was shown through the message interface.
    bool fill();
    // Ends the fill's requests at once; what was answered stays filled.
    void stop();
    bool filling() const { return fill_ != nullptr; }

    // The text of the message that ends a fill: the run's outcome and a
    // line per symbol with what it got (gapfill::GapFill::lines()).
    static QString resultText(const GapFill& fill);

signals:
    // One symbol's request ended.
    void progress(int finished, int total, const QString& text);
    void finished();

private:
    QString currentStamp() const;
    void fillEnded();

    Figure figure_;
    QString stamp_;  // what the last survey read, by size and time of change
    int surveys_ = 0;
    std::unique_ptr<GapFill> fill_;
};

}  // namespace gapfill
