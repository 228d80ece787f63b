#pragma once

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// "Export List": writes the symbols of a list with the chosen columns to a
// text file. The four move buttons are "Command1_0" (">"), "Command1_1"
// (">>"), "Command1_2" ("<<") and "Command1_3" ("<").
class frmExport : public QDialog {
    Q_OBJECT
public:
    explicit frmExport(QWidget* parent = nullptr);

    // Asks for the file to write; empty when the user chose none. Tests
    // replace it.
    std::function<QString()> chooseFile;

    // What "&Ok" does.
    void exportList();

    QString statusText() const;

private:
    void moveSelected(QListWidget* from, QListWidget* to);
    void moveAll(QListWidget* from, QListWidget* to);
    void updateButtons();
    void setButtonsEnabled(bool enabled);

    QComboBox* combo1_;
    QListWidget* list1_;
    QListWidget* list2_;
    QPushButton* move_[4];
    QPushButton* command4_;
    QPushButton* command3_;
    QLabel* panel1_;
};
