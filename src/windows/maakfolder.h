#pragma once

#include <QDialog>

class QLineEdit;

// Asks for the name of a new folder below a given parent and creates it.
class Maakfolder : public QDialog {
    Q_OBJECT
public:
    explicit Maakfolder(const QString& parentPath, QWidget* parent = nullptr);
    // The folder made by OK, ending with "/"; empty after Cancel.
    QString createdFolder() const { return created_; }

private:
    void ok();

    QString parentPath_;
    QString created_;
    QLineEdit* text1_;
};
