#include "writers/location.h"

#include "database/db.h"
#include "database/foldermap.h"
#include "database/settingsrow.h"
#include "support/folders.h"
#include "support/messages.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "writers/amibroker.h"
#include "writers/ewriter.h"

#include <QDir>
#include <QFileInfo>

FormatLocation::FormatLocation(QChar letter) : format_(formats::find(letter)) { Q_ASSERT(format_); }

LocationChoice FormatLocation::load() const
{
    const FormatSettings& s = format_->chosen();

    LocationChoice choice;
    choice.selected = s.on;
    if (format_->hasFolder())
        choice.folder = paths::withTrailingSlash(s.folder);
    if (format_->hasLongNames())
        choice.longNames = s.longNames;
    if (format_->has(RunFileLayout)) {
        choice.extension = extensions().at(extensionIndex(s.value(kRunFileExtension)));
        choice.openInterest = s.value(kOpenInterest) != QLatin1String("0");
    }
    if (format_->has(ImportCommand))
        choice.importCommand = amibroker::importCommand();
    return choice;
}

bool FormatLocation::canSwitchOn() const
{
    LocationChoice stored;
    if (format_->hasFolder())
        stored.folder = format_->chosen().folder;
    stored.importCommand = amibroker::importCommand();
    return canSwitchOn(stored);
}

bool FormatLocation::canSwitchOn(const LocationChoice& choice, QString* why) const
{
    if (!format_->switchOnTest || format_->switchOnTest(choice, why))
        return true;
    msgBox(QLatin1String(format_->refusal), format_->refusalCritical ? Icon::Critical : Icon::None);
    return false;
}

bool FormatLocation::accept(const LocationChoice& choice)
{
    if (choice.selected && format_->switchOnTest && !canSwitchOn(choice))
        return false;
    FormatSettings& s = format_->chosen();
    const QString folder = format_->hasFolder() ? paths::withTrailingSlash(choice.folder) : QString();
    const bool maximum = format_->has(FolderMaximum);
    if (maximum && choice.selected && (folder.size() < 5 || QDir(folder).isRoot())) {
        msgBox(QStringLiteral("It is not possible to choos the root-folder\r\n       Please choose another folder"));
        return false;
    }
    // Quotes go only where they can be written: a folder that is missing,
    // read-only or full is refused for a format that is on.
    if (choice.selected && format_->hasFolder()) {
        if (const QString why = folders::unusable(folder); !why.isEmpty()) {
            msgBox(QStringLiteral("The folder %1 is %2\r\n       Please choose another folder").arg(folder, why),
                   Icon::Critical);
            return false;
        }
    }

    settingsrow::Columns columns{{QLatin1String(format_->selectedColumn()), choice.selected ? 1 : 0}};
    if (format_->hasLongNames())
        columns.append({QLatin1String(format_->longNamesColumn()), choice.longNames ? 1 : 0});
    if (format_->hasFolder())
        columns.append({QLatin1String(format_->folderColumn()), folder});
    const QString extension = extensions().at(extensionIndex(choice.extension));
    const QString h11 = choice.openInterest ? QStringLiteral("1") : QStringLiteral("0");
    if (format_->has(RunFileLayout)) {
        columns.append({QLatin1String(kRunFileExtension), extension});
        columns.append({QLatin1String(kOpenInterest), h11});
    }
    columns.append({QStringLiteral("h7"), settings().h7});

    const StepOutcome outcome = guarded([&] {
        auto db = Database::openDefault();
        Transaction t(*db);
        // Another MetaStock root makes the symbol-to-folder map meaningless.
        if (maximum && folder != paths::withTrailingSlash(s.folder))
            foldermap::clear(*db);
        settingsrow::write(*db, columns);
        t.commit();
    });
    if (outcome != StepOutcome::Done)
        return outcome == StepOutcome::Ignored;
    s.on = choice.selected;
    if (format_->hasLongNames())
        s.longNames = choice.longNames;
    if (format_->hasFolder())
        s.folder = folder;
    if (format_->has(RunFileLayout)) {
        s.value(kRunFileExtension) = extension;
        s.value(kOpenInterest) = h11;
    }
    if (format_->has(ImportCommand))
        amibroker::setImportCommand(choice.importCommand);
    return true;
}

const QStringList& FormatLocation::extensions()
{
    static const QStringList list = {QStringLiteral("PRN"), QStringLiteral("TXT"), QStringLiteral("ASC"),
                                     QStringLiteral("CSV")};
    return list;
}

int FormatLocation::extensionIndex(const QString& extension)
{
    QString e = extension.trimmed().toUpper();
    if (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    return std::max<int>(0, extensions().indexOf(e));
}

bool FormatLocation::setMaxSymbols(int maximum)
{
    if (maximum != 255 && maximum != 2000 && maximum != 6000 && maximum != 999999)
        return false;
    store::write(QStringLiteral("metaversion"), QString::number(maximum));
    settings().metaversion = maximum;
    return true;
}

QString makeFolder(const QString& parent, const QString& name)
{
    if (name.isEmpty()) {
        msgBox(QStringLiteral("Please enter a foldername"), Icon::Critical);
        return {};
    }
    const QString path = paths::withTrailingSlash(parent) + name;
    if (folders::canCreateFileIn(path, QStringLiteral("test.tst"))) {
        msgBox(QStringLiteral("This folder allready exists"), Icon::Critical);
        return {};
    }
    // One new folder right below the parent: a name with a separator, or one
    // the file system refuses, is no folder name.
    const bool plainName =
        !name.contains(QLatin1Char('/')) && name != QLatin1String(".") && name != QLatin1String("..");
    if (plainName && !QFileInfo::exists(path) && QDir(parent).mkdir(name))
        return paths::withTrailingSlash(QDir::cleanPath(path));
    msgBox(QStringLiteral("Illegal characters in name, please change it"), Icon::Critical);
    return {};
}
