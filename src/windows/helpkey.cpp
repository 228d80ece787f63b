#include "windows/helpkey.h"

#include "support/help.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace helpkey {
namespace {
const char kProperty[] = "quotarisHelpPage";

// F1 is taken before any widget sees it, so it works whatever control has
// the focus, and it is handled once, by the window it was typed in.
class F1Filter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || !watched->isWidgetType())
            return false;
        help::ShowHelp(pageFor(static_cast<QWidget*>(watched)));
        return true;
    }
};
}  // namespace

void setPage(QWidget* window, const QString& page) { window->setProperty(kProperty, page); }

QString pageFor(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant page = w->property(kProperty);
        if (page.isValid())
            return page.toString();
    }
    return {};
}

// The application object owns the one filter.
void install()
{
    if (!qApp || qApp->findChild<F1Filter*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    qApp->installEventFilter(new F1Filter(qApp));
}

void connectButton(QAbstractButton* button, const QString& page)
{
    QObject::connect(button, &QAbstractButton::clicked, button, [page] { help::ShowHelp(page); });
}

}  // namespace helpkey

#include "helpkey.moc"
