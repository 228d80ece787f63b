#include "support/state.h"

#include "support/desktop.h"
#include "support/help.h"
#include "support/log.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/settingsstore.h"

ProgramSettings::ProgramSettings()
{
    const QString home = paths::fallbackFolder();
    excel = metastock = prn = stockguru = h1 = h2 = h3 = h5 = h7 = h8 = home;
    const QTime now = QTime::currentTime();
    for (int n = 1; n <= 16; ++n) {
        tList[n] = eList[n] = now;
        iList[n] = QTime(0, 0);
    }
}

ProcessState& state()
{
    static ProcessState s;
    return s;
}

void resetProcessState() { state() = ProcessState(); }

void resetSupportLayer()
{
    openfiles::closeAll();
    forgetLog();
    paths::setDataFolderOverride(QString());
    help::setInstalledFolderOverride(QString());
    desktop::setOpener({});
    store::close();
    resetProcessState();
}
