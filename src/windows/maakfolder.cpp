#include "windows/maakfolder.h"

#include "windows/helpkey.h"
#include "writers/location.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

Maakfolder::Maakfolder(const QString& parentPath, QWidget* parent)
    : QDialog(parent), parentPath_(parentPath), text1_(new QLineEdit(this))
{
    setObjectName(QStringLiteral("Maakfolder"));
    helpkey::setPage(this, QStringLiteral("Exportformat.htm"));
    setWindowTitle(QStringLiteral("New folder"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Enter Foldername to create:"), this);
    label->setObjectName(QStringLiteral("Label1"));
    layout->addWidget(label);
    text1_->setObjectName(QStringLiteral("Text1"));
    layout->addWidget(text1_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    layout->addWidget(buttons);
    connect(ok, &QPushButton::clicked, this, &Maakfolder::ok);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void Maakfolder::ok()
{
    created_ = makeFolder(parentPath_, text1_->text());
    if (!created_.isEmpty())
        accept();
}
