#pragma once

#include <QLabel>

// A one-line status text that fits any width: what does not fit ends in
// "...", and the whole text is the tooltip. text() is always the whole text.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    // The text as painted at the label's present width.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};
