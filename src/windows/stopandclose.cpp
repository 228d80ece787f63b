#include "windows/stopandclose.h"

#include "support/messages.h"

#include <QMdiSubWindow>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace stopandclose {

bool ask(const QString& refusal)
{
    Message m;
    m.text = refusal + QStringLiteral("\r\nStop it now and close?");
    m.icon = Icon::Question;
    m.buttons = Buttons::YesNo;
    m.defaultAnswer = Answer::No;
    m.yesText = QStringLiteral("&Stop and quit");
    m.noText = QStringLiteral("&Cancel");
    return messages().show(m) == Answer::Yes;
}

void closeWhenIdle(QWidget* window, std::function<bool()> idle)
{
    // The main window says while it is closing that the program quits.
    const bool quit = window->window() != window && window->window()->property("quitting").toBool();
    QPointer<QWidget> target = quit                                                   ? window->window()
                               : qobject_cast<QMdiSubWindow*>(window->parentWidget()) ? window->parentWidget()
                                                                                      : window;
    auto* poll = new QTimer(window);
    poll->setInterval(100);
    QObject::connect(poll, &QTimer::timeout, window, [poll, target, idle = std::move(idle)] {
        if (!idle())
            return;
        poll->stop();
        poll->deleteLater();
        if (target)
            target->close();
    });
    poll->start();
}

}  // namespace stopandclose
