#include "app/commands_formats.h"

#include "app/headless.h"
#include "runs/fill.h"
#include "support/paths.h"
#include "writers/amibroker.h"
#include "writers/formatregistry.h"
#include "writers/location.h"

#include <QFileInfo>

namespace {

QString onOff(bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); }

QString describe(const ExportFormat& f)
{
    const FormatSettings& s = f.chosen();
    QString line = QStringLiteral("%1 %2: %3").arg(f.letter, f.name(), onOff(s.on));
    if (f.hasFolder())
        line += QStringLiteral(", folder ") + s.folder;
    if (f.hasLongNames())
        line += QStringLiteral(", long names ") + onOff(s.longNames);
    if (f.has(RunFileLayout))
        line += QStringLiteral(", extension ") + s.value(kRunFileExtension) + QStringLiteral(", open interest ") +
                onOff(s.value(kOpenInterest) != QLatin1String("0"));
    if (f.has(FolderMaximum))
        line += QStringLiteral(", max symbols ") + QString::number(settings().metaversion);
    if (f.has(ImportCommand))
        line += QStringLiteral(", command ") + amibroker::importCommand();
    return line;
}

std::optional<bool> parseOnOff(const QString& text)
{
    if (text == QLatin1String("on"))
        return true;
    if (text == QLatin1String("off"))
        return false;
    return std::nullopt;
}

}  // namespace

int cmdFormats(HeadlessContext& c)
{
    if (!c.args.isEmpty()) {
        c.err << "formats takes no arguments\n";
        return 2;
    }
    const bool opened = headlessStartup(c);
    for (const ExportFormat& f : formats::all())
        c.out << describe(f) << '\n';
    return opened ? 0 : 1;
}

int cmdFormat(HeadlessContext& c)
{
    const QStringList& a = c.args;
    auto usage = [&c](const QString& why) {
        c.err << why
              << "\nUsage: format LETTER on|off [--folder DIR] [--long-names on|off] "
                 "[--extension PRN|TXT|ASC|CSV] [--open-interest on|off] [--max-symbols 255|2000|6000|999999] "
                 "[--command CMD]\n";
        return 2;
    };
    if (a.size() < 2 || a[0].size() != 1 || !formats::find(a[0].at(0)))
        return usage(QStringLiteral("format needs a letter (%1) and on or off")
                         .arg(formats::letters(formats::all(), QStringLiteral(" "), QStringLiteral(" "))));
    const ExportFormat& f = *formats::find(a[0].at(0));
    const auto on = parseOnOff(a[1]);
    if (!on)
        return usage(QStringLiteral("Expected on or off, not ") + a[1]);

    QString folder, extension;
    std::optional<QString> command;
    std::optional<bool> longNames, openInterest;
    int maxSymbols = 0;
    for (int i = 2; i < a.size(); i += 2) {
        if (i + 1 >= a.size())
            return usage(QStringLiteral("Missing value after ") + a[i]);
        const QString& option = a[i];
        const QString& value = a[i + 1];
        if (option == QLatin1String("--folder") && f.hasFolder()) {
            folder = value;
        } else if (option == QLatin1String("--long-names") && f.hasLongNames()) {
            if (!(longNames = parseOnOff(value)))
                return usage(QStringLiteral("Expected on or off, not ") + value);
        } else if (option == QLatin1String("--extension") && f.has(RunFileLayout)) {
            extension = value.toUpper();
            if (!FormatLocation::extensions().contains(extension))
                return usage(QStringLiteral("Unknown extension ") + value);
        } else if (option == QLatin1String("--open-interest") && f.has(RunFileLayout)) {
            if (!(openInterest = parseOnOff(value)))
                return usage(QStringLiteral("Expected on or off, not ") + value);
        } else if (option == QLatin1String("--command") && f.has(ImportCommand)) {
            command = value;
        } else if (option == QLatin1String("--max-symbols") && f.has(FolderMaximum)) {
            maxSymbols = value.toInt();
            if (maxSymbols != 255 && maxSymbols != 2000 && maxSymbols != 6000 && maxSymbols != 999999)
                return usage(QStringLiteral("Unknown maximum ") + value);
        } else {
            return usage(QStringLiteral("Option %1 does not apply to format %2").arg(option, f.letter));
        }
    }
    if (!folder.isEmpty()) {
        const QFileInfo info(folder);
        if (!info.isDir()) {
            c.err << "No such folder: " << folder << '\n';
            return 1;
        }
        folder = info.absoluteFilePath();
    }

    if (!headlessStartup(c)) {
        c.err << "The database could not be opened; nothing changed\n";
        return 1;
    }
    FormatLocation location(f.letter);
    LocationChoice choice = location.load();
    const LocationChoice before = choice;
    if (!folder.isEmpty())
        choice.folder = folder;
    if (command)
        choice.importCommand = *command;
    // Excel and AmiBroker are tested again whenever their folder or command
    // may have changed; the others only when they are switched on.
    const bool retest = f.switchOnTest != nullptr;
    QString why;
    if (*on && (!choice.selected || retest) && !location.canSwitchOn(choice, &why)) {
        c.err << why;
        if (f.has(ImportCommand))
            c.err << " (set it with --command \"CMD\")";
        c.err << '\n';
        return 1;
    }
    choice.selected = *on;
    if (longNames)
        choice.longNames = *longNames;
    if (!extension.isEmpty())
        choice.extension = extension;
    if (openInterest)
        choice.openInterest = *openInterest;
    if (maxSymbols)
        FormatLocation::setMaxSymbols(maxSymbols);
    if (!location.accept(choice))
        return 1;
    c.out << describe(f) << '\n';
    // Switched on, or on in another folder: what the quote store holds can
    // be written there at once.
    const QString folderNow = f.hasFolder() ? paths::withTrailingSlash(f.chosen().folder) : QString();
    if (*on && (!before.selected || before.folder != folderNow)) {
        if (const int symbols = fill::fillableSymbols(); symbols > 0) {
            c.out << "The quote store holds the days of " << symbols << (symbols == 1 ? " symbol" : " symbols")
                  << " of your lists; to write them to " << f.name() << " now, run:\n  " << fill::command(f) << '\n';
        }
    }
    return 0;
}
