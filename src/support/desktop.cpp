#include "support/desktop.h"

#include <QProcess>

namespace desktop {
namespace {
Opener& installed()
{
    static Opener opener;
    return opener;
}
}  // namespace

void setOpener(Opener opener) { installed() = std::move(opener); }

bool sessionPresent()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool openUrl(const QUrl& url)
{
    if (!url.isValid())
        return false;
    if (installed())
        return installed()(url);
    if (!sessionPresent())
        return false;
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

}  // namespace desktop
