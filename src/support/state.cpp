#include "support/state.h"

#include "support/desktop.h"
#include "support/help.h"
#include "support/log.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/settingsstore.h"

ProgramSettings::ProgramSettings()
{
    h7 = paths::fallbackFolder();
    for (const formatsettings::Declared& d : formatsettings::declared())
        formats_.emplace(d.letter, formatsettings::defaults(d.letter));
    const QTime now = QTime::currentTime();
    for (int n = 1; n <= 16; ++n) {
        tList[n] = eList[n] = now;
        iList[n] = QTime(0, 0);
    }
}

FormatSettings& ProgramSettings::format(QChar letter)
{
    const QChar upper = letter.toUpper();
    auto it = formats_.find(upper);
    if (it == formats_.end())
        it = formats_.emplace(upper, formatsettings::defaults(upper)).first;
    return it->second;
}

const FormatSettings& ProgramSettings::format(QChar letter) const
{
    return const_cast<ProgramSettings*>(this)->format(letter);
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
