#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The two tables the user keeps in the data folder, for what the provider
// cannot tell. Both are read on every request, so an edit counts at once.
namespace userfiles {

// The members of `index` ("^AEX") from members/AEX.txt (or members/^AEX.txt):
// one ticker a line, "#" starts a comment, anything after the ticker (a
// blank or a comma, then a name) is ignored. Empty when there is no file.
QStringList members(const QString& dataFolder, const QString& index);

// Ticker changes from changes.txt: "OLD NEW" or "OLD,NEW" a line, "#"
// starts a comment. Keys in upper case.
QHash<QString, QString> changes(const QString& dataFolder);

}  // namespace userfiles
