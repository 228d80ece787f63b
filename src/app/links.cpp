#include "app/links.h"

#include "support/messages.h"

#include <QDesktopServices>
#include <QUrl>

namespace links {

QString homePage() { return QStringLiteral("https://quotaris.example.org/"); }

QString supportAddress() { return QStringLiteral("support@quotaris.example.org"); }

// Without a browser or a mail program the address is shown instead, so
// that the click is never lost.
void openHomePage()
{
    if (!QDesktopServices::openUrl(QUrl(homePage())))
        msgBox(QStringLiteral("No web browser could be started. The home page is ") + homePage(), Icon::Information);
}

void openSupportMail()
{
    if (!QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:%1?subject=Quotaris%20support").arg(supportAddress()))))
        msgBox(QStringLiteral("No mail program could be started. Write to ") + supportAddress(), Icon::Information);
}

}  // namespace links
