#pragma once

#include "runs/chartframe.h"

#include <QWidget>

class QButtonGroup;
class QPushButton;
class QTreeWidget;
class QComboBox;
class QLabel;
class ChartView;

// The chart of one symbol as the user's own export files hold it:
// candlesticks and volume of the visible stretch, a choice of the format
// whose file is shown, ranges, zoom and pan with mouse and keys, the values
// of the day under the pointer, shaded gaps of more than a week and marks
// over the days the integrity check flagged. What it shows is ChartFrame's.
class ChartWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChartWindow(const QString& ticker, QWidget* parent = nullptr);
    ~ChartWindow() override;

    QString ticker() const { return ticker_; }
    const ChartFrame& frame() const { return frame_; }

    // Reads and shows the symbol's file of format `letter`.
    void showFormat(QChar letter);
    void showRange(ChartFrame::Range range);
    // The values of the day nearest `date` in the values line, as the
    // pointer shows them.
    void pointAt(QDate date);
    // Zooms (factor below 1: in) or pans (days) and redraws.
    void zoom(double factor);
    void pan(int days);

    // The size it last had when closed; 860 x 600 at first. Both panes are
    // readable at it.
    QSize sizeHint() const override;
    // The unit the volume axis counts in for a largest volume `most`:
    // 1, 1,000 (K) or 1,000,000 (M), with its label format.
    static QPair<double, QString> volumeUnit(double most);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend class ChartView;
    void redraw();

    QString ticker_;
    ChartFrame frame_;
    QComboBox* formats_;
    QButtonGroup* ranges_;
    ChartView* view_;
    QLabel* values_;
    QLabel* source_;
};

// A report's way to the chart: a double-click on a line of one of `views`,
// or `button` for the line chosen last, opens the chart of the ticker in the
// line's first column as a window of its own over `report` (a modal report
// does not block it).
void offerCharts(QWidget* report, const QList<QTreeWidget*>& views, QPushButton* button);

// The chart of `ticker` as a window of its own over `owner`.
ChartWindow* openChartOver(QWidget* owner, const QString& ticker);
