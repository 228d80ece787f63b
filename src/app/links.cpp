#include "app/links.h"

#include <QDesktopServices>
#include <QUrl>

namespace links {

QString homePage()
{
    return QStringLiteral("https://quotaris.example.org/");
}

QString supportAddress()
{
    return QStringLiteral("support@quotaris.example.org");
}

void openHomePage()
{
    QDesktopServices::openUrl(QUrl(homePage()));
}

void openSupportMail()
{
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:%1?subject=Quotaris%20support").arg(supportAddress())));
}

}  // namespace links
