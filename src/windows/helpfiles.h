#pragma once

#include <QDialog>

class HelpFilesUpdate;
class QLabel;
class QPushButton;
class QStatusBar;

// "Quotaris System message": offers the newer help files; Yes downloads them
// into the data folder's help/, showing each file in the status bar.
class helpfiles : public QDialog {
    Q_OBJECT
public:
    explicit helpfiles(QWidget* parent = nullptr);

    // What Yes does: starts the download, ignored while one runs. Its end
    // is shown, then reported by `downloaded` (true when every file was
    // fetched; the window has then closed).
    void download();
    void ReportFailure(const QString& name);

signals:
    void downloaded(bool ok);

private:
    void finished();

    QPushButton* command1_;
    QPushButton* command2_;
    QStatusBar* statusBar1_;
    QLabel* panel1_;
    QLabel* panel2_;
    HelpFilesUpdate* update_;
};
