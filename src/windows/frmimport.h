#pragma once

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;

// "Import Symbols": reads a text file of symbols into a preview and puts
// them on the chosen list.
class frmImport : public QDialog {
    Q_OBJECT
public:
    explicit frmImport(QWidget* parent = nullptr);

    // Asks for the file to read; empty when the user chose none. Tests
    // replace it.
    std::function<QString()> chooseFile;

    // What "&File" does once a file is chosen.
    void readFile(const QString& fileName);
    // What "&Import" does.
    void importPreview();

    QString statusText() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void setWorking(bool working);

    QComboBox* combo1_;
    QListWidget* list1_;
    QPushButton* command1_;
    QPushButton* command3_;
    QPushButton* command4_;
    QStatusBar* statusBar1_;
    QLabel* panel1_;
    bool working_ = false;
};
