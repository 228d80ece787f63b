#include "app/splash.h"

#include "app/links.h"
#include "windows/helpkey.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmSplash::frmSplash(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSplash"));
    helpkey::setPage(this, QStringLiteral("index.htm"));
    setWindowTitle(QStringLiteral("Quotaris"));

    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("<h1>Quotaris</h1>"), this);
    name->setObjectName(QStringLiteral("Label1"));
    auto* slogan = new QLabel(QStringLiteral("The most comprehensive datamanager"), this);
    slogan->setObjectName(QStringLiteral("Label2"));
    auto* platform = new QLabel(QStringLiteral("Platform: Linux"), this);
    platform->setObjectName(QStringLiteral("Label5"));
    auto* version = new QLabel(versionText(), this);
    version->setObjectName(QStringLiteral("lblVersion"));

    auto* home = new QLabel(QStringLiteral("<a href=\"home\">%1</a>").arg(links::homePage()), this);
    home->setObjectName(QStringLiteral("Label3"));
    connect(home, &QLabel::linkActivated, this, [] { links::openHomePage(); });
    auto* mail = new QLabel(QStringLiteral("<a href=\"mail\">%1</a>").arg(links::supportAddress()), this);
    mail->setObjectName(QStringLiteral("Label4"));
    connect(mail, &QLabel::linkActivated, this, [] { links::openSupportMail(); });

    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("Command1"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    for (QWidget* w : {static_cast<QWidget*>(name), static_cast<QWidget*>(slogan), static_cast<QWidget*>(platform),
                       static_cast<QWidget*>(version), static_cast<QWidget*>(home), static_cast<QWidget*>(mail)})
        layout->addWidget(w, 0, Qt::AlignHCenter);
    layout->addWidget(close, 0, Qt::AlignHCenter);
}

QString frmSplash::versionText()
{
    return QStringLiteral("Version %1.%2.%3")
        .arg(QUOTARIS_VERSION_MAJOR)
        .arg(QUOTARIS_VERSION_MINOR)
        .arg(QUOTARIS_VERSION_PATCH);
}
