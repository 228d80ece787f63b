#pragma once

#include "support/cancel.h"
#include "writers/metastockrun.h"

#include <QDialog>

class QLabel;
class QProgressBar;

// The window shown while the MetaStock map is rebuilt at the start of a run.
// Closing it cancels its token, which stops the scan and with it the run;
// the run's Stop (the outer token) stops the scan as well.
class MSDatabaseload : public QDialog {
    Q_OBJECT
public:
    explicit MSDatabaseload(const CancelToken* run = nullptr, QWidget* parent = nullptr);
    void setProgress(int value, int maximum);
    const CancelToken& cancelToken() const { return cancel_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* label1_;
    QProgressBar* progressBar1_;
    CancelToken cancel_;
};

// The windows of the MetaStock writer: the load window around the map
// rebuild, and the location window in mode "T" for a new symbol.
class GuiMetastockPrompt : public MetastockPrompt {
public:
    explicit GuiMetastockPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    QString askFolder(const QString& name, const QString& startFolder, const QString& root,
                      const Place& place) override;
    void showMapLoad(const CancelToken* run, const Scan& scan) override;

private:
    QWidget* parent_;
};
