#include "app/appicons.h"
#include "app/headless.h"
#include "app/hoofdform.h"
#include "app/screenshots.h"
#include "app/singleinstance.h"
#include "support/desktop.h"
#include "support/messages.h"
#include "support/paths.h"
#include "windows/guimessages.h"
#include "windows/helpviewer.h"
#include "windows/msdatabaseload.h"
#include "writers/formatregistry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

namespace {
void initApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quotaris"));
    QCoreApplication::setApplicationName(QStringLiteral("Quotaris"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOTARIS_VERSION));
}
// Renders every window offscreen over a temporary data folder and settings
// file, so that neither the user's data nor their settings are touched.
int screenshots(int argc, char* argv[], const QStringList& args)
{
    if (args.size() != 1) {
        std::fputs("usage: quotaris screenshots DIR\n", stderr);
        return 2;
    }
    const QString folder = QDir(args.first()).absolutePath();
    QTemporaryDir temp;
    if (!temp.isValid()) {
        std::fputs("Cannot create a temporary folder\n", stderr);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp.filePath(QStringLiteral("config"))));
    qputenv("HOME", QFile::encodeName(temp.path()));
    paths::setDataFolderOverride(temp.filePath(QStringLiteral("data")));
    QApplication app(argc, argv);
    initApplication();
    QApplication::setWindowIcon(appicons::program());
    ScriptedMessages answers;  // no message box may wait for a click
    setMessages(&answers);
    desktop::setOpener([](const QUrl&) { return false; });
    QString error;
    if (!paths::ensureDataFolder(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const int status = takeScreenshots(folder);
    setMessages(nullptr);
    return status;
}
}  // namespace

int main(int argc, char* argv[])
{
    // The export formats of this process, asked by every layer below.
    FormatRegistry formatRegistry;
    const formats::Use useFormats(formatRegistry);

    // Options come before the command; everything after it is the command's.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    QString command;
    QStringList commandArgs;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(qPrintable(headlessUsage(QStringLiteral("  screenshots DIR\n      every window as a PNG in DIR, "
                                                               "over a temporary data folder (offscreen)\n"))),
                       stdout);
            return 0;
        }
        if (a == QLatin1String("--version")) {
            std::printf("quotaris %s\n", QUOTARIS_VERSION);
            return 0;
        }
        if (a == QLatin1String("--home")) {
            if (i + 1 >= args.size()) {
                std::fputs("--home needs a folder\n", stderr);
                return 2;
            }
            paths::setDataFolderOverride(args[++i]);
            continue;
        }
        if (a.startsWith(QLatin1String("--"))) {
            std::fprintf(stderr, "Unknown option: %s\n\n%s", qPrintable(a), qPrintable(headlessUsage()));
            return 2;
        }
        command = a;
        commandArgs = args.mid(i + 1);
        break;
    }

    if (command == QLatin1String("screenshots"))
        return screenshots(argc, argv, commandArgs);

    if (!command.isEmpty()) {
        QCoreApplication app(argc, argv);
        initApplication();
        const int status = runHeadless(command, commandArgs);
        return status;
    }

    QApplication app(argc, argv);
    initApplication();
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.Quotaris"));
    QApplication::setWindowIcon(appicons::program());
    // Without a browser the help pages open in the program's own viewer.
    desktop::setOpener(HelpViewer::withFallback([](const QUrl& url) { return QDesktopServices::openUrl(url); }));
    QString error;
    GuiMessages gui;
    setMessages(&gui);
    GuiMetastockPrompt metastockWindows;
    setMetastockPrompt(&metastockWindows);
    if (!paths::ensureDataFolder(&error))
        msgBox(error + QStringLiteral("\r\nThe program goes on with its built-in settings."), Icon::Critical);
    // A second copy on the same data folder says so and leaves.
    SingleInstance instance(paths::dataFolder());
    if (!instance.claim()) {
        if (askYesNo(alreadyRunningText(paths::dataFolder()), QStringLiteral("Quotaris")))
            instance.bringForward();
        setMetastockPrompt(nullptr);
        setMessages(nullptr);
        return 0;
    }
    auto window = std::make_unique<Hoofdform>();
    QObject::connect(&instance, &SingleInstance::raiseRequested, window.get(), [w = window.get()] {
        if (w->isMinimized())
            w->showNormal();
        w->raise();
        w->activateWindow();
    });
    window->load();
    const int status = app.exec();
    window.reset();
    setMetastockPrompt(nullptr);
    setMessages(nullptr);
    return status;
}
