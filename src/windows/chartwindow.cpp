#include "windows/chartwindow.h"

#include "database/db.h"
#include "runs/symbolstatus.h"
#include "support/errors.h"
#include "support/settingsstore.h"
#include "windows/named.h"
#include "writers/formatregistry.h"

#include <QButtonGroup>
#include <QCandlestickSeries>
#include <QCandlestickSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPen>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// About five round values from `low` to `high`: steps of 1, 2 or 5 times a
// power of ten.
QVector<double> priceTicks(double low, double high)
{
    QVector<double> ticks;
    if (!(high > low))
        return {low};
    const double rough = (high - low) / 5;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step >= rough)
            break;
    }
    for (double v = std::ceil(low / step) * step; v <= high + step * 1e-9; v += step)
        ticks.append(std::abs(v) < step * 1e-9 ? 0.0 : v);
    return ticks;
}

qreal timestamp(QDate date)
{
    // Midday UTC: a day stays that day in every time zone the axis shows.
    return static_cast<qreal>(QDateTime(date, QTime(12, 0), Qt::UTC).toMSecsSinceEpoch());
}

QDate dateAt(qreal ms) { return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::UTC).date(); }

const struct {
    const char* caption;
    const char* name;
    ChartFrame::Range range;
} kRanges[] = {
    {"1 &month", "cmdRange1M", ChartFrame::Range::OneMonth}, {"&6 months", "cmdRange6M", ChartFrame::Range::SixMonths},
    {"1 &year", "cmdRange1Y", ChartFrame::Range::OneYear},   {"&5 years", "cmdRange5Y", ChartFrame::Range::FiveYears},
    {"&All", "cmdRangeAll", ChartFrame::Range::All},
};

}  // namespace

// The drawing: prices above, volume in the lowest quarter on an axis of its
// own, gaps shaded, flagged days marked over the series and the days that
// differ from the quote store (or that the file lacks) under it. Mouse wheel
// zooms around the pointer, a drag pans, the pointer shows a day's values.
class ChartView : public QChartView {
public:
    explicit ChartView(ChartWindow* owner) : QChartView(new QChart), owner_(owner)
    {
        setObjectName(QStringLiteral("chartView"));
        setRenderHint(QPainter::Antialiasing, false);
        setMouseTracking(true);
        setFocusPolicy(Qt::NoFocus);  // the keys go to the window
        QChart* c = chart();
        c->legend()->hide();
        c->setMargins(QMargins(4, 4, 4, 4));
        prices_ = new QCandlestickSeries;
        prices_->setObjectName(QStringLiteral("prices"));
        prices_->setIncreasingColor(QColor(0x2e, 0x8b, 0x57));
        prices_->setDecreasingColor(QColor(0xc0, 0x39, 0x2b));
        prices_->setBodyWidth(0.7);
        volume_ = new QCandlestickSeries;
        volume_->setObjectName(QStringLiteral("volume"));
        volume_->setIncreasingColor(QColor(0x70, 0x80, 0x90, 0xa0));
        volume_->setDecreasingColor(QColor(0x70, 0x80, 0x90, 0xa0));
        volume_->setBodyOutlineVisible(false);
        volume_->setCapsVisible(false);
        volume_->setBodyWidth(0.7);
        c->addSeries(volume_);
        c->addSeries(prices_);
        dates_ = new QDateTimeAxis;
        dates_->setFormat(QStringLiteral("yyyy-MM-dd"));
        dates_->setTickCount(6);
        // Price labels only where the prices are: the lowest part of the
        // plot is the volume's.
        priceAxis_ = new QCategoryAxis;
        priceAxis_->setObjectName(QStringLiteral("priceAxis"));
        priceAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
        volumeAxis_ = new QValueAxis;
        // Numbers in the user's locale, with its thousands separator.
        c->setLocalizeNumbers(true);
        volumeAxis_->setLabelFormat(QStringLiteral("%.0f"));
        volumeAxis_->setGridLineVisible(false);
        c->addAxis(dates_, Qt::AlignBottom);
        c->addAxis(priceAxis_, Qt::AlignLeft);
        c->addAxis(volumeAxis_, Qt::AlignRight);
        prices_->attachAxis(dates_);
        prices_->attachAxis(priceAxis_);
        volume_->attachAxis(dates_);
        volume_->attachAxis(volumeAxis_);
    }

    void draw(const ChartFrame& frame)
    {
        bars_ = frame.bars();
        gaps_ = frame.gaps();
        lacking_ = frame.lacking();
        prices_->clear();
        volume_->clear();
        if (bars_.isEmpty()) {
            viewport()->update();
            return;
        }
        QList<QCandlestickSet*> priceSets, volumeSets;
        priceSets.reserve(bars_.size());
        volumeSets.reserve(bars_.size());
        double low = bars_.front().low, high = bars_.front().high, largest = 0;
        for (const ChartFrame::Bar& b : std::as_const(bars_))
            largest = std::max(largest, b.volume);
        // Volume in K or M: "40 M", not 40315544.
        const auto [unit, format] = ChartWindow::volumeUnit(largest);
        volumeAxis_->setLabelFormat(format);
        double most = 0;
        for (const ChartFrame::Bar& b : std::as_const(bars_)) {
            const qreal at = (timestamp(b.first) + timestamp(b.last)) / 2;
            priceSets << new QCandlestickSet(b.open, b.high, b.low, b.close, at);
            volumeSets << new QCandlestickSet(0, b.volume / unit, 0, b.volume / unit, at);
            low = std::min(low, b.low);
            high = std::max(high, b.high);
            most = std::max(most, b.volume / unit);
        }
        prices_->append(priceSets);
        volume_->append(volumeSets);
        const double span = high > low ? high - low : std::max(1.0, std::abs(high) * 0.1);
        // The lowest quarter is the volume's.
        priceAxis_->setRange(low - span * 0.4, high + span * 0.05);
        for (const QString& label : priceAxis_->categoriesLabels())
            priceAxis_->remove(label);
        priceAxis_->setStartValue(low - span * 0.4);
        const QLocale locale;
        for (const double value : priceTicks(low, high)) {
            // Each label must be unique; the value decides the place.
            priceAxis_->append(locale.toString(value, 'f', value == std::floor(value) ? 0 : 2), value);
        }
        volumeAxis_->setRange(0, most > 0 ? most * 4 : 1);
        const qreal half = 43200000.0 * std::max<qint64>(1, bars_.front().first.daysTo(bars_.front().last) + 1);
        dates_->setRange(QDateTime::fromMSecsSinceEpoch(
                             static_cast<qint64>(timestamp(frame.days()[frame.first()].date) - half), Qt::UTC),
                         QDateTime::fromMSecsSinceEpoch(
                             static_cast<qint64>(timestamp(frame.days()[frame.last()].date) + half), Qt::UTC));
        viewport()->update();
    }

protected:
    void drawForeground(QPainter* painter, const QRectF& rect) override
    {
        QChartView::drawForeground(painter, rect);
        if (bars_.isEmpty())
            return;
        const QRectF area = chart()->plotArea();
        painter->save();
        painter->setClipRect(area);
        // A gap: the days between the two stored days either side, shaded.
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0xff, 0xa5, 0x00, 0x50));
        for (const ChartFrame::Gap& g : std::as_const(gaps_)) {
            const qreal x1 = position(timestamp(g.before.addDays(1)));
            const qreal x2 = std::max(position(timestamp(g.after.addDays(-1))), x1 + 2);
            painter->drawRect(QRectF(x1, area.top(), x2 - x1, area.height()));
        }
        // A flagged day: a red triangle over its bar.
        painter->setBrush(QColor(0xd0, 0x00, 0x00));
        for (const ChartFrame::Bar& b : std::as_const(bars_)) {
            if (!b.flagged)
                continue;
            const QPointF top =
                chart()->mapToPosition(QPointF((timestamp(b.first) + timestamp(b.last)) / 2, b.high), prices_);
            const QPointF p = chart()->mapToScene(top);
            const QPolygonF mark({p + QPointF(0, -4), p + QPointF(-5, -12), p + QPointF(5, -12)});
            painter->drawPolygon(mark);
        }
        // A day the file holds with other values than the quote store: a
        // blue triangle under its bar; a stored day the file lacks: a blue
        // line at the foot of the chart.
        painter->setBrush(QColor(0x00, 0x50, 0xd0));
        for (const ChartFrame::Bar& b : std::as_const(bars_)) {
            if (!b.differs)
                continue;
            const QPointF foot =
                chart()->mapToPosition(QPointF((timestamp(b.first) + timestamp(b.last)) / 2, b.low), prices_);
            const QPointF p = chart()->mapToScene(foot);
            painter->drawPolygon(QPolygonF({p + QPointF(0, 4), p + QPointF(-5, 12), p + QPointF(5, 12)}));
        }
        // A provisional day (taken before the close): a hollow violet ring
        // over its bar.
        painter->setPen(QPen(QColor(0x80, 0x30, 0xc0), 2));
        painter->setBrush(Qt::NoBrush);
        for (const ChartFrame::Bar& b : std::as_const(bars_)) {
            if (!b.provisional)
                continue;
            const QPointF top =
                chart()->mapToPosition(QPointF((timestamp(b.first) + timestamp(b.last)) / 2, b.high), prices_);
            painter->drawEllipse(chart()->mapToScene(top) + QPointF(0, -18), 4, 4);
        }
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0x00, 0x50, 0xd0));
        for (const QDate& d : std::as_const(lacking_)) {
            const qreal x = position(timestamp(d));
            painter->drawRect(QRectF(x - 1, area.bottom() - 10, 2, 10));
        }
        painter->restore();
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        const QPointF at = event->position();
        if (dragging_ && (event->buttons() & Qt::LeftButton)) {
            const qreal width = chart()->plotArea().width();
            const int count = owner_->frame().visibleCount();
            const int days = width > 0 ? static_cast<int>((dragFrom_ - at.x()) / width * count) : 0;
            if (days != 0) {
                owner_->pan(days);
                dragFrom_ = at.x();
            }
        }
        owner_->pointAt(dateAt(valueAt(at).x()));
        QChartView::mouseMoveEvent(event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            dragging_ = true;
            dragFrom_ = event->position().x();
            setCursor(Qt::ClosedHandCursor);
        }
        QChartView::mousePressEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton) {
            dragging_ = false;
            unsetCursor();
        }
        QChartView::mouseReleaseEvent(event);
    }

    void wheelEvent(QWheelEvent* event) override
    {
        const int steps = event->angleDelta().y();
        if (steps == 0)
            return;
        const ChartFrame& frame = owner_->frame();
        const int anchor = frame.nearest(dateAt(valueAt(event->position()).x()));
        const double factor = steps > 0 ? 0.8 : 1.25;
        ChartFrame& f = owner_->frame_;
        f.zoom(factor, anchor < 0 ? (f.first() + f.last()) / 2 : anchor);
        owner_->redraw();
        event->accept();
    }

private:
    QPointF valueAt(QPointF viewPos)
    {
        return chart()->mapToValue(chart()->mapFromScene(mapToScene(viewPos.toPoint())), prices_);
    }
    qreal position(qreal ms) { return chart()->mapToScene(chart()->mapToPosition(QPointF(ms, 0), prices_)).x(); }

    ChartWindow* owner_;
    QCandlestickSeries* prices_;
    QCandlestickSeries* volume_;
    QDateTimeAxis* dates_;
    QCategoryAxis* priceAxis_;
    QValueAxis* volumeAxis_;
    QVector<ChartFrame::Bar> bars_;
    QVector<ChartFrame::Gap> gaps_;
    QVector<QDate> lacking_;  // stored days the file lacks
    bool dragging_ = false;
    qreal dragFrom_ = 0;
};

ChartWindow::ChartWindow(const QString& ticker, QWidget* parent) : QWidget(parent), ticker_(ticker.trimmed())
{
    setObjectName(QStringLiteral("ChartWindow"));
    setWindowTitle(QStringLiteral("Chart - ") + ticker_);
    setFocusPolicy(Qt::StrongFocus);

    auto* formatLabel = named(new QLabel(QStringLiteral("&File of:"), this), "lblFormat");
    formats_ = named(new QComboBox(this), "cboFormat");
    formatLabel->setBuddy(formats_);
    for (QChar letter : symbolstatus::formatsShown()) {
        const ExportFormat* f = formats::find(letter);
        formats_->addItem(f->name(), letter);
    }
    auto* top = new QHBoxLayout;
    top->addWidget(formatLabel);
    top->addWidget(formats_);
    top->addSpacing(12);
    ranges_ = new QButtonGroup(this);
    for (const auto& r : kRanges) {
        auto* b = named(new QToolButton(this), r.name);
        b->setText(QString::fromLatin1(r.caption));
        b->setCheckable(true);
        b->setAutoRaise(true);
        ranges_->addButton(b);
        top->addWidget(b);
        const ChartFrame::Range range = r.range;
        connect(b, &QToolButton::clicked, this, [this, range] { showRange(range); });
    }
    top->addStretch(1);

    view_ = new ChartView(this);
    values_ = named(new QLabel(this), "lblValues");
    values_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    source_ = named(new QLabel(this), "lblSource");
    source_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    source_->setToolTip(QStringLiteral("Wheel or +/- zooms, a drag or the arrow keys move the chart"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(view_, 1);
    layout->addWidget(values_);
    layout->addWidget(source_);
    // Never so small that the plot is a strip with "..." for labels.
    view_->setMinimumSize(480, 300);
    resize(sizeHint());

    connect(formats_, &QComboBox::currentIndexChanged, this,
            [this](int index) { showFormat(formats_->itemData(index).toChar()); });
    if (formats_->count() == 0) {
        formats_->setEnabled(false);
        for (QAbstractButton* b : ranges_->buttons())
            b->setEnabled(false);
        source_->setText(QStringLiteral("No export format with a file per symbol is on (Export format menu)"));
    } else {
        showFormat(formats_->itemData(0).toChar());
    }
}

ChartWindow::~ChartWindow() = default;

QSize ChartWindow::sizeHint() const
{
    const QStringList parts = store::read(QStringLiteral("ChartWindowSize"), QString()).split(QLatin1Char('x'));
    const QSize saved = parts.size() == 2 ? QSize(parts[0].toInt(), parts[1].toInt()) : QSize();
    return saved.isValid() && saved.width() >= 480 && saved.height() >= 300 ? saved : QSize(860, 600);
}

void ChartWindow::hideEvent(QHideEvent* event)
{
    // Closed or minimised: the next chart opens at this size.
    if (width() >= 480 && height() >= 300)
        store::write(QStringLiteral("ChartWindowSize"), QStringLiteral("%1x%2").arg(width()).arg(height()));
    QWidget::hideEvent(event);
}

QPair<double, QString> ChartWindow::volumeUnit(double most)
{
    if (most >= 10e6)
        return {1e6, QStringLiteral("%.0f M")};
    if (most >= 1e6)
        return {1e6, QStringLiteral("%.1f M")};
    if (most >= 10e3)
        return {1e3, QStringLiteral("%.0f K")};
    return {1, QStringLiteral("%.0f")};
}

void ChartWindow::showFormat(QChar letter)
{
    const int index = formats_->findData(letter);
    if (index >= 0 && index != formats_->currentIndex()) {
        formats_->setCurrentIndex(index);  // comes back here
        return;
    }
    chartsource::Loaded loaded;
    try {
        const std::unique_ptr<Database> db = Database::openDefault();
        loaded = chartsource::load(*db, letter, ticker_);
    } catch (const AppError& e) {
        source_->setText(e.description());
    }
    frame_.setSeries(std::move(loaded.series), loaded.flagged);
    frame_.setStoreDifferences(loaded.differs, loaded.lacking);
    frame_.setProvisional(loaded.provisional);
    if (frame_.isEmpty()) {
        source_->setText(loaded.where.isEmpty() ? QStringLiteral("No file for %1 in this format").arg(ticker_)
                                                : QStringLiteral("No days in ") + loaded.where);
    } else {
        QString text = QStringLiteral("%1 days from %2 to %3 in %4")
                           .arg(frame_.days().size())
                           .arg(frame_.days().front().date.toString(Qt::ISODate),
                                frame_.days().back().date.toString(Qt::ISODate), loaded.where);
        if (frame_.series().skipped > 0)
            text += QStringLiteral("; %1 unreadable lines left out").arg(frame_.series().skipped);
        if (!loaded.differs.isEmpty() || !loaded.lacking.isEmpty())
            text += QStringLiteral("; against the quote store %1 days differ, %2 stored days lacking")
                        .arg(loaded.differs.size())
                        .arg(loaded.lacking.size());
        if (frame_.provisional(frame_.days().back().date))
            text += QStringLiteral("; the last day is provisional");
        source_->setText(text);
    }
    for (QAbstractButton* b : ranges_->buttons())
        b->setEnabled(!frame_.isEmpty());
    if (QAbstractButton* all = findChild<QAbstractButton*>(QStringLiteral("cmdRangeAll")))
        all->setChecked(true);
    redraw();
    pointAt(frame_.isEmpty() ? QDate() : frame_.days().back().date);
}

void ChartWindow::showRange(ChartFrame::Range range)
{
    frame_.showRange(range);
    for (const auto& r : kRanges) {
        if (r.range == range)
            if (auto* b = findChild<QAbstractButton*>(QLatin1String(r.name)))
                b->setChecked(true);
    }
    redraw();
}

void ChartWindow::pointAt(QDate date) { values_->setText(frame_.describe(frame_.nearest(date))); }

void ChartWindow::zoom(double factor)
{
    frame_.zoom(factor);
    redraw();
}

void ChartWindow::pan(int days)
{
    frame_.pan(days);
    redraw();
}

void ChartWindow::redraw() { view_->draw(frame_); }

void ChartWindow::keyPressEvent(QKeyEvent* event)
{
    const int step = std::max(1, frame_.visibleCount() / 10);
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoom(0.8);
        break;
    case Qt::Key_Minus:
        zoom(1.25);
        break;
    case Qt::Key_Left:
        pan(-step);
        break;
    case Qt::Key_Right:
        pan(step);
        break;
    case Qt::Key_Home:
        pan(-frame_.first());
        break;
    case Qt::Key_End:
        pan(static_cast<int>(frame_.days().size()));
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

ChartWindow* openChartOver(QWidget* owner, const QString& ticker)
{
    auto* window = new ChartWindow(ticker, owner);
    window->setWindowFlag(Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

void offerCharts(QWidget* report, const QList<QTreeWidget*>& views, QPushButton* button)
{
    auto chosen = std::make_shared<QPointer<QTreeWidget>>();
    button->setEnabled(false);
    for (QTreeWidget* view : views) {
        QObject::connect(view, &QTreeWidget::itemDoubleClicked, report, [report](QTreeWidgetItem* item) {
            if (item && !item->text(0).trimmed().isEmpty())
                openChartOver(report, item->text(0));
        });
        QObject::connect(view, &QTreeWidget::itemSelectionChanged, report, [view, button, chosen] {
            *chosen = view;
            button->setEnabled(view->currentItem() && !view->selectedItems().isEmpty());
        });
    }
    QObject::connect(button, &QPushButton::clicked, report, [report, chosen] {
        QTreeWidget* view = *chosen;
        if (view && view->currentItem() && !view->currentItem()->text(0).trimmed().isEmpty())
            openChartOver(report, view->currentItem()->text(0));
    });
}
