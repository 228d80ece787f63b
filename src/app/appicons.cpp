#include "app/appicons.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>

namespace {

QIcon themed(const char* name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

// A rising price line on a blue tile: the program's own mark, drawn when
// the icon is not installed in the theme (run from the build folder).
QPixmap drawnProgramIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xa8));
    p.drawRoundedRect(QRectF(0, 0, s, s), s / 6, s / 6);
    QPainterPath line;
    line.moveTo(s * 0.15, s * 0.75);
    line.lineTo(s * 0.38, s * 0.50);
    line.lineTo(s * 0.55, s * 0.62);
    line.lineTo(s * 0.85, s * 0.25);
    p.setPen(QPen(Qt::white, std::max(1.5, s / 12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(line);
    return pixmap;
}

}  // namespace

QIcon appicons::program()
{
    static const QIcon icon = [] {
        QIcon theme = QIcon::fromTheme(QStringLiteral("org.example.Quotaris"));
        if (!theme.isNull() && !theme.availableSizes().isEmpty())
            return theme;
        QIcon drawn;
        for (int size : {16, 24, 32, 48, 64})
            drawn.addPixmap(drawnProgramIcon(size));
        return drawn;
    }();
    return icon;
}

QIcon appicons::listManagement() { return themed("view-list-details", QStyle::SP_FileDialogListView); }
QIcon appicons::search() { return themed("edit-find", QStyle::SP_FileDialogContentsView); }
QIcon appicons::exportFormat() { return themed("document-save-as", QStyle::SP_DialogSaveButton); }
QIcon appicons::currentDownload() { return themed("folder-download", QStyle::SP_ArrowDown); }
QIcon appicons::historicalDownload() { return themed("x-office-calendar", QStyle::SP_FileDialogInfoView); }
QIcon appicons::update() { return themed("system-software-update", QStyle::SP_BrowserReload); }
QIcon appicons::homePage() { return themed("web-browser", QStyle::SP_DriveNetIcon); }
QIcon appicons::support() { return themed("mail-message-new", QStyle::SP_MessageBoxInformation); }
QIcon appicons::help() { return themed("help-contents", QStyle::SP_MessageBoxQuestion); }
