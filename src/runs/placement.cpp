#include "runs/placement.h"

#include "support/log.h"
#include "support/settingsstore.h"
#include "writers/metastockrun.h"

namespace placement {
namespace {
const QString kKey = QStringLiteral("PlaceNewSymbolsAutomatically");
}

bool automatic() { return store::read(kKey, QStringLiteral("0")) == QLatin1String("1"); }

void setAutomatic(bool on) { store::write(kKey, on ? QStringLiteral("1") : QStringLiteral("0")); }

RunPlacement::RunPlacement(bool unattended)
{
    if (!metastockPrompt() || !(unattended || automatic()))
        return;
    saved_ = metastockPrompt();
    swapped_ = true;
    setMetastockPrompt(nullptr);
    WriteLog(unattended ? QStringLiteral("New Metastock symbols are placed without asking (scheduled run)")
                        : QStringLiteral("New Metastock symbols are placed automatically"));
}

RunPlacement::~RunPlacement()
{
    if (swapped_)
        setMetastockPrompt(saved_);
}

}  // namespace placement
