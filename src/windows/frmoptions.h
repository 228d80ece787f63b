#pragma once

#include <QDialog>
#include <memory>

struct ProgramSettings;

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;

// The Options window: every control changes its setting at once; OK
// stores them, Cancel (or the close box) puts back what was set when the
// window opened.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr);
    ~frmOptions() override;

    void done(int result) override;

private:
    void load();
    void delayClicked(bool ticked);

    QComboBox* combo1_;
    QComboBox* combo2_;
    QComboBox* combo3_;
    QLabel* label4_;
    QCheckBox* check_[7] = {};
    QRadioButton* option1_;
    QRadioButton* option2_;
    QComboBox* cboIntegrity_;
    int openedIntegrity_ = 0;                  // the integrity action when the window opened
    std::unique_ptr<ProgramSettings> opened_;  // the options when the window opened
};

// The choice of the lists of a several-lists download.
class frmListDownload : public QDialog {
    Q_OBJECT
public:
    explicit frmListDownload(QWidget* parent = nullptr);

private:
    QCheckBox* check1_[16] = {};
};
