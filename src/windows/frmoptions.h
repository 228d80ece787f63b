#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;

// The Options window: every control changes its setting at once; closing
// the window stores them.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr);

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
};

// The choice of the lists of a several-lists download.
class frmListDownload : public QDialog {
    Q_OBJECT
public:
    explicit frmListDownload(QWidget* parent = nullptr);

private:
    QCheckBox* check1_[16] = {};
};
