#include "app/startpage.h"

#include "database/db.h"
#include "database/exchanges.h"
#include "database/gaps.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "runs/schedule.h"
#include "support/state.h"
#include "windows/runrecord.h"
#include "writers/formatregistry.h"

#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

namespace {

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

}  // namespace

bool StartInfo::listsEmpty() const
{
    for (const List& l : lists) {
        if (l.symbols > 0)
            return false;
    }
    return true;
}

int StartInfo::countGapSymbols(const QString& path, qint32 from)
{
    if (!QFileInfo::exists(path))
        return -1;
    try {
        QuoteStore store(path);
        // By exchange, in the store's order: each exchange has its own sessions.
        QVector<const exchanges::Exchange*> order;
        QHash<const exchanges::Exchange*, QStringList> byExchange;
        for (const QString& t : store.tickers()) {
            const exchanges::Exchange* e = exchanges::ofTicker(t);
            if (!e)
                continue;  // no known sessions: no gaps to tell
            if (!byExchange.contains(e))
                order.append(e);
            byExchange[e].append(t);
        }
        int count = 0;
        for (const exchanges::Exchange* e : std::as_const(order)) {
            const QStringList& tickers = byExchange[e];
            const gaps::Exchange held(store, tickers, from);
            QVector<qint32> sessions = held.sessions();
            if (sessions.isEmpty())
                sessions = gaps::sessionsOfIndex(store, QLatin1String(e->index), from);
            if (sessions.isEmpty())
                continue;
            for (const QString& t : tickers)
                count += held.gapsOf(t, sessions).open() ? 1 : 0;
        }
        return count;
    } catch (const StoreError&) {
        return -1;
    }
}

StartInfo StartInfo::gather()
{
    StartInfo info;
    const ProgramSettings& s = settings();
    try {
        std::unique_ptr<Database> db = Database::openDefault();
        info.symbols = lists::totalSymbolCount(*db);
        for (int n = 1; n <= lists::kCount; ++n) {
            const int count = lists::symbolCount(*db, n);
            if (count > 0 || !s.listNames[n].isEmpty())
                info.lists.append({n, s.listNames[n], count});
        }
    } catch (const std::exception&) {
        // A database that cannot be read shows as empty; the windows report
        // the fault when they use it.
    }
    for (const ExportFormat& f : formats::all()) {
        if (!f.isOn())
            continue;
        QString caption = f.name();
        if (f.hasFolder())
            caption += QStringLiteral(": ") + f.chosen().folder;
        info.formats << caption;
    }
    info.lastCurrent = runrecord::last(false);
    info.lastHistory = runrecord::last(true);
    const QDate since = QDate::currentDate().addDays(-kGapDays);
    info.gapSymbols =
        countGapSymbols(QuoteStore::defaultPath(), since.year() * 10000 + since.month() * 100 + since.day());
    const Schedule schedule = Schedule::load();
    const QDateTime now = QDateTime::currentDateTime();
    QStringList scheduled;
    QDateTime next;
    int nextList = 0;
    for (int n = 1; n <= lists::kCount; ++n) {
        const ListSchedule& l = schedule.lists[static_cast<size_t>(n)];
        if (!l.on)
            continue;
        scheduled << QStringLiteral("list %1 at %2").arg(n).arg(QLocale().toString(l.start, QLocale::ShortFormat));
        // A start time already passed today is due at once when the
        // scheduler starts.
        const QDateTime first = schedule.firstDownload(n, now);
        if (!next.isValid() || first < next) {
            next = first;
            nextList = n;
        }
    }
    info.schedule = scheduled.join(QStringLiteral(", "));
    if (next.isValid())
        info.schedule += QStringLiteral("; next: list %1 at %2").arg(nextList).arg(Schedule::momentText(next, now));
    return info;
}

StartPage::StartPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StartPage"));
    setAutoFillBackground(true);
    auto* title = new QLabel(QStringLiteral("<h2>Quotaris</h2>"), this);
    next_ = new QLabel(this);
    next_->setObjectName(QStringLiteral("lblNext"));
    next_->setWordWrap(true);

    import_ = new QPushButton(QStringLiteral("&Import Symbols..."), this);
    import_->setObjectName(QStringLiteral("startImport"));
    search_ = new QPushButton(QStringLiteral("&Search Symbol"), this);
    search_->setObjectName(QStringLiteral("startSearch"));
    listsButton_ = new QPushButton(QStringLiteral("&List management..."), this);
    listsButton_->setObjectName(QStringLiteral("startLists"));
    formatsButton_ = new QPushButton(QStringLiteral("Switch on an &export format"), this);
    formatsButton_->setObjectName(QStringLiteral("startFormats"));
    download_ = new QPushButton(QStringLiteral("&Download current quotes"), this);
    download_->setObjectName(QStringLiteral("startDownload"));
    auto* steps = new QHBoxLayout;
    for (QPushButton* b : {import_, search_, listsButton_, formatsButton_, download_})
        steps->addWidget(b);
    steps->addStretch();

    auto box = [this](const QString& caption, const char* name, QLabel*& label) {
        auto* group = new QGroupBox(caption, this);
        label = new QLabel(group);
        label->setObjectName(QLatin1String(name));
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        (new QVBoxLayout(group))->addWidget(label);
        return group;
    };
    auto* grid = new QGridLayout;
    grid->addWidget(box(QStringLiteral("Lists"), "lblLists", lists_), 0, 0);
    grid->addWidget(box(QStringLiteral("Export formats"), "lblFormats", formats_), 0, 1);
    grid->addWidget(box(QStringLiteral("Downloads"), "lblRuns", runs_), 1, 0, 1, 2);
    // The quote store's gaps, and the button that will fill them.
    gaps_ = new QLabel(this);
    gaps_->setObjectName(QStringLiteral("lblGaps"));
    gaps_->setWordWrap(true);
    fillGaps_ = new QPushButton(QStringLiteral("&Fill gaps"), this);
    fillGaps_->setObjectName(QStringLiteral("startFillGaps"));
    fillGaps_->setEnabled(false);
    fillGaps_->setToolTip(QStringLiteral("Filling the gaps from the quote service is not part of this version yet"));
    auto* gapRow = new QHBoxLayout;
    gapRow->addWidget(gaps_, 1);
    gapRow->addWidget(fillGaps_);
    grid->addLayout(gapRow, 2, 0, 1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(next_);
    layout->addLayout(steps);
    layout->addLayout(grid);
    layout->addStretch();

    connect(import_, &QPushButton::clicked, this, &StartPage::importRequested);
    connect(search_, &QPushButton::clicked, this, &StartPage::searchRequested);
    connect(listsButton_, &QPushButton::clicked, this, &StartPage::listsRequested);
    connect(formatsButton_, &QPushButton::clicked, this, [this] { emit formatsRequested(formatsButton_); });
    connect(download_, &QPushButton::clicked, this, &StartPage::downloadRequested);
    refresh();
}

void StartPage::refresh()
{
    const StartInfo info = StartInfo::gather();
    const bool noSymbols = info.symbols == 0;
    const bool noLists = info.listsEmpty();
    const bool noFormat = info.formats.isEmpty();

    QString next;
    if (noSymbols)
        next = QStringLiteral("A download needs symbols on a list: import a symbol list, or search symbols on the "
                              "quote service and add them to a list.");
    else if (noLists)
        next = QStringLiteral("No list holds symbols yet: put symbols on a list in the list management.");
    if (noFormat)
        next += (next.isEmpty() ? QString() : QStringLiteral(" ")) +
                QStringLiteral("A download writes into the export formats that are on: switch one on and choose its "
                               "folder.");
    if (next.isEmpty())
        next = QStringLiteral("Ready to download: choose Download > Current or Download > Historical.");
    next_->setText(next);
    import_->setVisible(noSymbols);
    search_->setVisible(noSymbols);
    listsButton_->setVisible(!noSymbols && noLists);
    formatsButton_->setVisible(noFormat);
    download_->setVisible(!noLists && !noFormat);

    QStringList lines;
    for (const StartInfo::List& l : info.lists) {
        const QString name = l.name.isEmpty() ? QString() : QStringLiteral(" - ") + escaped(l.name);
        lines << QStringLiteral("List %1%2: %3 symbols").arg(l.number).arg(name).arg(l.symbols);
    }
    if (lines.isEmpty())
        lines << QStringLiteral("No list holds symbols yet.");
    lines << QStringLiteral("%1 symbols in the database").arg(info.symbols);
    lists_->setText(lines.join(QStringLiteral("<br>")));

    QStringList formatLines;
    for (const QString& f : info.formats)
        formatLines << escaped(f);
    formats_->setText(formatLines.isEmpty() ? QStringLiteral("No export format is on.")
                                            : formatLines.join(QStringLiteral("<br>")));

    QStringList runs;
    runs << QStringLiteral("Last current download: ") +
                (info.lastCurrent.isEmpty() ? QStringLiteral("none yet") : escaped(info.lastCurrent));
    runs << QStringLiteral("Last historical download: ") +
                (info.lastHistory.isEmpty() ? QStringLiteral("none yet") : escaped(info.lastHistory));
    runs << QStringLiteral("Daily schedule: ") +
                (info.schedule.isEmpty()
                     ? QStringLiteral("no list scheduled")
                     : escaped(info.schedule) + QStringLiteral(" (while the Current Data Downloader runs its "
                                                               "scheduler)"));
    runs_->setText(runs.join(QStringLiteral("<br>")));

    gaps_->setVisible(info.gapSymbols > 0);
    fillGaps_->setVisible(info.gapSymbols > 0);
    gaps_->setText(info.gapSymbols == 1
                       ? QStringLiteral("1 symbol has gaps in the quote store (missing sessions or days still "
                                        "provisional).")
                       : QStringLiteral("%1 symbols have gaps in the quote store (missing sessions or days still "
                                        "provisional).")
                             .arg(info.gapSymbols));
}
