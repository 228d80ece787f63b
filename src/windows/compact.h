#pragma once

#include <QDialog>
#include <memory>

class BusyPointer;
class QLabel;
class QPushButton;
class QThread;

// "Compact/Repair Database": Start compacts the symbol database, then the
// window closes. The main window opens it after closing every other window,
// so that nothing else holds the database meanwhile. The compaction runs on
// a thread of its own (with its own connection), so the window keeps being
// painted; it is disabled until `compacted`.
class compact : public QDialog {
    Q_OBJECT
public:
    explicit compact(QWidget* parent = nullptr);
    ~compact() override;

    // What Start does: starts the compaction, ignored while one is running.
    // Its end is shown (success or failure) and then reported by `compacted`.
    void start();
    bool running() const { return worker_ != nullptr; }
    // Escape and the title bar's close do nothing while the compaction runs.
    void reject() override;

signals:
    void compacted(bool ok);

private:
    void finished(bool ok, const QString& failure);

    QThread* worker_ = nullptr;
    std::unique_ptr<BusyPointer> busy_;
    QPushButton* command1_;
    QPushButton* command2_;
    QLabel* label1_;
};
