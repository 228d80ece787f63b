#include "support/toplevel.h"

#include "support/log.h"

#include <QCoreApplication>
#include <QThread>

bool atTopLevel() { return QThread::currentThread()->loopLevel() == 0; }

bool checkTopLevel(const char* what)
{
    if (atTopLevel())
        return true;
    const QString text = QStringLiteral("%1: an event loop entered inside another one (level %2)")
                             .arg(QLatin1String(what))
                             .arg(QThread::currentThread()->loopLevel());
    qWarning("%s", qPrintable(text));
    WriteLog(text);
    return false;
}

int runTopLevel()
{
    checkTopLevel("runTopLevel");
    return QCoreApplication::exec();
}
