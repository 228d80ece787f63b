#include "runs/runsupport.h"

#include "database/db.h"
#include "database/settingsrow.h"
#include "support/errors.h"
#include "support/folders.h"
#include "support/state.h"
#include "writers/formatregistry.h"

namespace runsupport {

void checkExportFolders()
{
    ProgramSettings& s = settings();
    settingsrow::Columns columns;
    for (const auto& [column, member] : formats::folderColumns()) {
        s.*member = folders::folderCheck(s.*member);
        columns.append({QLatin1String(column), s.*member});
    }
    guarded([&columns] {
        auto db = Database::openDefault();
        settingsrow::write(*db, columns);
    });
}

}  // namespace runsupport
