#include "app/reset.h"

#include "mslink/folder.h"
#include "support/state.h"
#include "writers/formatregistry.h"
#include "writers/metastockrun.h"

void resetAllLayers()
{
    // Top down: a writer's state may hold files and connections of the layers
    // below.
    formats::resetRegistry();
    setMetastockPrompt(nullptr);
    resetMetastockRun();
    mslink::Folder::forgetCaches();
    resetSupportLayer();
}
