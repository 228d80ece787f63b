#include "windows/helpviewer.h"

#include "support/help.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

HelpViewer::HelpViewer(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("helpViewer"));
    setWindowTitle(QStringLiteral("Quotaris Help"));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    // Pages of the help folder open here; a web address goes to whatever
    // the desktop has for it.
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(true);
    back_ = new QPushButton(QStringLiteral("&Back"), this);
    back_->setObjectName(QStringLiteral("helpBack"));
    forward_ = new QPushButton(QStringLiteral("&Forward"), this);
    forward_->setObjectName(QStringLiteral("helpForward"));
    home_ = new QPushButton(QStringLiteral("&Contents"), this);
    home_->setObjectName(QStringLiteral("helpContents"));
    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setObjectName(QStringLiteral("helpClose"));
    back_->setEnabled(false);
    forward_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back_);
    buttons->addWidget(forward_);
    buttons->addWidget(home_);
    buttons->addStretch();
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(browser_, 1);

    connect(back_, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward_, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(home_, &QPushButton::clicked, this, [this] { showPage(help::pageUrl(QString())); });
    connect(close_, &QPushButton::clicked, this, &QDialog::close);
    connect(browser_, &QTextBrowser::backwardAvailable, back_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = browser_->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Quotaris Help") : QStringLiteral("Quotaris Help - ") + title);
    });
    resize(760, 600);
}

void HelpViewer::showPage(const QUrl& url)
{
    browser_->setSource(url);
    show();
    raise();
    activateWindow();
}

// The application keeps the one viewer among its top-level windows until
// it is closed.
HelpViewer* HelpViewer::instance()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* viewer = qobject_cast<HelpViewer*>(w))
            return viewer;
    }
    auto* viewer = new HelpViewer;
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    return viewer;
}

desktop::Opener HelpViewer::withFallback(desktop::Opener primary)
{
    return [primary = std::move(primary)](const QUrl& url) {
        if (primary && primary(url))
            return true;
        if (!url.isLocalFile())
            return false;
        instance()->showPage(url);
        return true;
    };
}
