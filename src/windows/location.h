#pragma once

#include "writers/location.h"

#include <QDialog>
#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The Export format window: switches the format of `letter` on or off and
// picks its folder. With the letter "T" it asks for the folder of one new
// MetaStock symbol instead.
class location : public QDialog {
    Q_OBJECT
public:
    // Lays the window out for `letter`: one of the ten format letters, or "T".
    explicit location(QChar letter, QWidget* parent = nullptr);
    ~location() override;

    // Mode "T": asks where symbol `name` goes, starting at `startFolder`.
    // OK hands the chosen folder (ending with "/") and the "Don't ask again"
    // box to `place`, which returns false to keep the window open.
    using Placer = std::function<bool(const QString& folder, bool dontAskAgain)>;
    void setSymbolMode(const QString& name, const QString& startFolder, Placer place);
    // Mode "T": the folder OK accepted; empty after Cancel.
    QString symbolFolder() const { return symbolFolder_; }

    // OK switched the format on, or moved it to another folder: its files
    // there may be filled from the quote store.
    bool switchedOn() const { return switchedOn_; }

    // The folder of the path field, ending with "/".
    QString chosenFolder() const;
    void setFolder(const QString& folder);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void layOut();
    void clickedYes();
    void clickedNew();
    void clickedBrowse();
    void ok();
    void cancel();
    LocationChoice choiceFromControls() const;

    bool symbolMode_ = false;
    bool closingByButton_ = false;
    bool sized_ = false;
    bool switchedOn_ = false;
    Placer place_;
    QString symbolFolder_;
    std::unique_ptr<FormatLocation> logic_;

    QLabel *label1_, *label2_, *label3_, *label4_, *label5_;
    QGroupBox *frame1_, *frame2_, *frame3_, *frame4_, *frame5_;
    QLineEdit* text1_;
    QCheckBox* option1_;  // the format on or off
    QRadioButton *option3_, *option4_, *option5_, *option6_, *option7_, *option8_;
    QComboBox* combo2_;
    QLineEdit* dir1_;  // the folder, as a path
    QPushButton *command1_, *browse_, *okButton_, *cancelButton_;
    QCheckBox* check1_;
    QCheckBox* autoPlace_;
};
