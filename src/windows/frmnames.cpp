#include "windows/frmnames.h"

#include "database/lists.h"
#include "support/state.h"
#include "windows/helpkey.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QVBoxLayout>

frmNames::frmNames(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmNames"));
    helpkey::setPage(this, QStringLiteral("listnames.htm"));
    setWindowTitle(QStringLiteral("List names"));
    auto* form = new QFormLayout;
    for (int i = 1; i <= lists::kCount; ++i) {
        text1_[i] = new QLineEdit(settings().listNames[i], this);
        text1_[i]->setObjectName(QStringLiteral("Text1_%1").arg(i));
        auto* label = new QLabel(QStringLiteral("List %1").arg(i), this);
        label->setBuddy(text1_[i]);
        form->addRow(label, text1_[i]);
    }
    auto* command1 = new QPushButton(QStringLiteral("OK"), this);
    command1->setObjectName(QStringLiteral("Command1"));
    command1->setDefault(true);
    auto* command2 = new QPushButton(QStringLiteral("&Cancel"), this);
    command2->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(command1);
    buttons->addWidget(command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(command1, &QPushButton::clicked, this, &frmNames::store);
    connect(command2, &QPushButton::clicked, this, &frmNames::closeWindow);
}

void frmNames::closeWindow()
{
    // Inside the main window the frame is what closes (and is deleted).
    if (auto* frame = qobject_cast<QMdiSubWindow*>(parentWidget()))
        frame->close();
    else
        close();
}

void frmNames::store()
{
    for (int i = 1; i <= lists::kCount; ++i)
        lists::setName(i, text1_[i]->text());
    closeWindow();
}
