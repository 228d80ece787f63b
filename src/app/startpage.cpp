#include "app/startpage.h"

#include "database/db.h"
#include "database/lists.h"
#include "runs/gapcount.h"
#include "runs/schedule.h"
#include "support/state.h"
#include "windows/runrecord.h"
#include "writers/formatregistry.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
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
    // The quote store's gaps, and the fill of them with its progress.
    gapCount_ = new gapfill::GapCount(this);
    gaps_ = new QLabel(this);
    gaps_->setObjectName(QStringLiteral("lblGaps"));
    gaps_->setWordWrap(true);
    fillGaps_ = new QPushButton(QStringLiteral("&Fill gaps"), this);
    fillGaps_->setObjectName(QStringLiteral("startFillGaps"));
    gapProgress_ = new QProgressBar(this);
    gapProgress_->setObjectName(QStringLiteral("gapProgress"));
    gapProgress_->setVisible(false);
    stopGaps_ = new QPushButton(QStringLiteral("S&top"), this);
    stopGaps_->setObjectName(QStringLiteral("startStopGaps"));
    stopGaps_->setVisible(false);
    auto* gapRow = new QHBoxLayout;
    gapRow->addWidget(gaps_, 1);
    gapRow->addWidget(gapProgress_);
    gapRow->addWidget(stopGaps_);
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
    connect(fillGaps_, &QPushButton::clicked, this, [this] {
        if (!gapCount_->fill()) {
            showGaps();
            return;
        }
        gapProgress_->setRange(0, 0);  // busy until the first symbol is done
        showGaps();
    });
    connect(stopGaps_, &QPushButton::clicked, gapCount_, &gapfill::GapCount::stop);
    connect(gapCount_, &gapfill::GapCount::progress, this, [this](int finished, int total, const QString& text) {
        gapProgress_->setRange(0, total);
        gapProgress_->setValue(finished);
        gapProgress_->setFormat(QStringLiteral("%v/%m"));
        gaps_->setText(QStringLiteral("Filling the gaps from the quote service: ") + text.toHtmlEscaped());
    });
    connect(gapCount_, &gapfill::GapCount::finished, this, &StartPage::showGaps);
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

    showGaps();
}

bool StartPage::filling() const { return gapCount_->filling(); }

void StartPage::showGaps()
{
    const gapfill::GapCount::Figure& gaps = gapCount_->figure();
    const bool filling = gapCount_->filling();
    const bool shown = filling || gaps.symbols > 0 || gaps.asking > 0;
    gaps_->setVisible(shown);
    fillGaps_->setVisible(shown && !filling);
    gapProgress_->setVisible(filling);
    stopGaps_->setVisible(filling);
    if (filling) {
        gaps_->setText(QStringLiteral("Filling the gaps from the quote service..."));
        return;
    }
    gaps_->setText(gaps.symbols == 1
                       ? QStringLiteral("1 symbol has gaps in the quote store (missing sessions or days still "
                                        "provisional).")
                       : QStringLiteral("%1 symbols have gaps in the quote store (missing sessions or days still "
                                        "provisional).")
                             .arg(gaps.symbols));
    fillGaps_->setEnabled(gaps.asking > 0);
    fillGaps_->setToolTip(gaps.asking > 0
                              ? QStringLiteral("Ask the quote service for the missing days of %1 %2 of your lists")
                                    .arg(gaps.asking)
                                    .arg(gaps.asking == 1 ? QStringLiteral("symbol") : QStringLiteral("symbols"))
                              : QStringLiteral("Every gap left was asked for after its market's latest session; "
                                               "it is asked again after the next one"));
}
