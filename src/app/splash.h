#pragma once

#include <QDialog>

// The splash window, shown at start-up and again as the About box.
class frmSplash : public QDialog {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    static QString versionText();
};
