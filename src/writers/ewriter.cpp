#include "writers/ewriter.h"

#include "support/errors.h"
#include "support/folders.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/filenames.h"
#include "writers/quote.h"
#include "writers/xlsbook.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <cmath>

// A workbook shared by the writers of one file.
struct ewriter::Book {
    QString path;
    XlsBook xls;
    quint64 savedVersion = 0;
    int savedRows = 0;
    bool failed = false;
    qint64 lastSaveMs = 0;  // how long the last save took
    QElapsedTimer sinceSave;

    bool unsaved() const { return savedVersion != xls.version() || !QFileInfo::exists(path); }
    // Each save writes the whole workbook: once it is large, a save waits
    // until four times the last one's duration has passed, so a workbook
    // that grows by many blocks costs time in proportion to its size, not
    // its square.
    bool saveDue() const
    {
        return xls.rows() < kPacedFromRows || !sinceSave.isValid() || sinceSave.elapsed() >= 4 * lastSaveMs;
    }
    // False when the save failed (reported through the error dialog).
    bool save()
    {
        const quint64 version = xls.version();
        const int rows = xls.rows();
        QElapsedTimer clock;
        clock.start();
        if (guarded([this] { xls.save(path); }) != StepOutcome::Done) {
            failed = true;
            return false;
        }
        lastSaveMs = clock.elapsed();
        sinceSave.start();
        savedVersion = version;
        savedRows = rows;
        return true;
    }

    static constexpr int kPacedFromRows = 50000;
};

namespace {
QString key(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

QString excelFolder()
{
    const QString folder = settings().format(QLatin1Char('E')).folder;
    return paths::withTrailingSlash(folder.isEmpty() ? paths::fallbackFolder() : folder);
}

QString at(const QStringList& list, qsizetype i) { return i < list.size() ? list.at(i) : QString(); }
}  // namespace

ewriter::ewriter(QObject* parent) : QObject(parent)
{
    timer_.setSingleShot(true);
    timer_.setInterval(1);
    connect(&timer_, &QTimer::timeout, this, &ewriter::write);
}

ewriter::~ewriter() = default;

void ewriter::filename(const QString& path, Workbooks& books)
{
    filename_ = path;
    book_.reset();
    if (path.isEmpty())
        return;
    book_ = books.open(path);
}

Workbooks::Workbooks() = default;
Workbooks::~Workbooks() = default;

std::shared_ptr<ewriter::Book> Workbooks::open(const QString& path)
{
    std::weak_ptr<ewriter::Book>& slot = open_[key(path)];
    std::shared_ptr<ewriter::Book> book = slot.lock();
    if (!book) {
        book = std::make_shared<ewriter::Book>();
        book->path = path;
        slot = book;
    }
    return book;
}

void ewriter::ytickers(const QStringList& v)
{
    quotes_.clear();
    tickers_ = v;
    raw_ = false;
}

void ewriter::raw(const QString& block)
{
    quotes_.clear();
    tickers_.clear();
    date_.clear();
    open_.clear();
    high_.clear();
    low_.clear();
    close_.clear();
    volume_.clear();
    name_.clear();
    for (const QString& line : block.split(QStringLiteral("\r\n"))) {
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() < 2 || f[0].isEmpty())
            continue;
        tickers_ << f[0];
        date_ << f[1];
        open_ << at(f, 2);
        high_ << at(f, 3);
        low_ << at(f, 4);
        close_ << at(f, 5);
        volume_ << at(f, 6);
    }
    raw_ = true;
}

void ewriter::rows(const QVector<CurrentQuote>& quotes)
{
    tickers_.clear();
    quotes_ = quotes;
    raw_ = false;
}

void ewriter::rows(const QString& ticker, const QString& name, const QVector<core::Bar>& days)
{
    quotes_.clear();
    const qsizetype n = days.size();
    for (QStringList* list : {&tickers_, &name_, &date_, &open_, &high_, &low_, &close_, &volume_}) {
        list->clear();
        list->reserve(n);
    }
    for (const core::Bar& d : days) {
        tickers_ << ticker;
        date_ << QString::number(d.date);
        open_ << d.open.text;
        high_ << d.high.text;
        low_ << d.low.text;
        close_ << d.close.text;
        volume_ << d.volume.text;
    }
    hname_ = name;
    raw_ = true;
}

bool ewriter::priceValue(const QString& text, double* value)
{
    bool ok = false;
    const double v = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

void ewriter::go()
{
    busy_ = true;
    if (book_ && !book_->failed) {
        QVector<XlsCell> cells(8);
        for (qsizetype i = 0; i < tickers_.size(); ++i) {
            if (tickers_[i].isEmpty())
                continue;
            cells[0] = XlsCell::ofText(tickers_[i]);
            cells[1] = XlsCell::ofText(raw_ ? hname_ : at(name_, i));
            cells[2] = XlsCell::ofText(at(date_, i));
            const QStringList* prices[] = {&open_, &high_, &low_, &close_};
            for (int p = 0; p < 4; ++p) {
                const QString text = at(*prices[p], i);
                double v = 0;
                // A price that is no number is kept as the text it came as.
                cells[3 + p] = priceValue(text, &v) ? XlsCell::ofNumber(v) : XlsCell::ofText(text.trimmed());
            }
            cells[7] = XlsCell::ofText(at(volume_, i));
            book_->xls.addRow(cells);
        }
        for (const CurrentQuote& q : std::as_const(quotes_)) {
            if (q.ticker.isEmpty())
                continue;
            cells[0] = XlsCell::ofText(q.ticker);
            cells[1] = XlsCell::ofText(q.name);
            cells[2] = XlsCell::ofText(QString::number(q.bar.date));
            for (int p = 0; p < 4; ++p) {
                // As the plain text of the number reads back: no -0, no infinity.
                const double v = (q.bar.*core::Bar::kPrices[p]).value;
                cells[3 + p] = XlsCell::ofNumber(std::isfinite(v) && v != 0 ? v : 0);
            }
            cells[7] = XlsCell::ofText(quotetext::plainNumber(q.bar.volume.value));
            book_->xls.addRow(cells);
        }
        quotes_.clear();  // in the workbook now
    }
    timer_.start();
}

void ewriter::write()
{
    bool ok = false;
    if (book_ && !book_->failed) {
        Book& b = *book_;
        // Another writer of the file may already have saved these rows.
        if (b.unsaved() && b.saveDue())
            b.save();
        ok = !b.failed;
    }
    busy_ = false;
    emit done(ok);
}

bool ewriter::flush()
{
    if (!book_ || book_->failed)
        return false;
    return !book_->unsaved() || book_->save();
}

int ewriter::rowsSaved() const { return book_ ? book_->savedRows : 0; }

int ewriter::sheets() const { return book_ ? book_->xls.sheets() : 0; }

bool ewriter::failed() const { return !book_ || book_->failed; }

QString ewriter::workbookName(bool historical, const QDate& day)
{
    const QString folder = excelFolder();
    const QString stamp = day.toString(QStringLiteral("yyyyMMdd"));
    for (int n = 1; n <= 5000; ++n) {
        const QString name = historical ? folder + QStringLiteral("history-%1.xls").arg(n)
                                        : folder + QStringLiteral("quotes%1-%2.xls").arg(stamp).arg(n);
        if (!filenames::filePresent(name))
            return name;
    }
    return {};
}

QString Workbooks::create(bool historical, const QDate& day)
{
    const QString name = ewriter::workbookName(historical, day);
    if (name.isEmpty())
        return name;
    // A workbook of an earlier writer under this name is not continued.
    auto book = std::make_shared<ewriter::Book>();
    book->path = name;
    book->xls.save(name);
    open_[key(name)] = book;
    lastMade_[historical ? 1 : 0] = book;
    return name;
}

bool ewriter::engineTest(const QString& folder)
{
    return folders::canCreateFileIn(folder.isEmpty() ? excelFolder() : folder, QStringLiteral("test.tst"));
}
