// The desktop program: the answers to --help and --version (given before
// anything needs a display), one instance per user, the splash window, the settings
// (wiped when their format marker is not the current one), the catalog file
// type registered with the desktop, and the main window, which opens the
// command-line catalogs and the autoload list at its first idle moment.
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "browser/ui/QuillonMain.h"
#include "browser/ui/Splash.h"
#include "catalog/LoadSave.h"
#include "platform/FileTypes.h"
#include "settings/Options.h"
#include "settings/Registry.h"
#include "widgets/ui/Icons.h"
#include "widgets/ui/QtPrompter.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

// The program's own picture, for the desktop's menus and the catalog type.
QByteArray programIconSvg()
{
    QFile icon(QStringLiteral(":/icons/catalog.svg"));
    return icon.open(QIODevice::ReadOnly) ? icon.readAll() : QByteArray();
}

// Prints what the command line asked for; the exit status of the program.
int answer(const TCommandLine &line)
{
    const QByteArray text = line.Text.toLocal8Bit();
    const bool error = line.Action == TCommandLine::TAction::Error;
    std::fputs(text.constData(), error ? stderr : stdout);
    std::fflush(error ? stderr : stdout);
    return error ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QString version = QStringLiteral(QUILLON_VERSION);
    // --help and --version are answered before anything needs a display.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const TCommandLine early = ParseCommandLine(raw, QDir::currentPath(), version);
    if (early.Action == TCommandLine::TAction::Help || early.Action == TCommandLine::TAction::Version)
        return answer(early);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setOrganizationName(QStringLiteral("Orvanta"));
    // The window manager ties the windows to the desktop entry written below.
    QGuiApplication::setDesktopFileName(QStringLiteral("quillon"));

    // Catalog files named on the command line, as absolute paths (the first
    // instance may run in another folder), read once Qt has taken its own
    // options (-platform, -style, ...) out; anything else that looks like an
    // option ends the start with a message, never reaching a catalog list.
    const TCommandLine line = ParseCommandLine(QApplication::arguments(), QDir::currentPath(), version);
    if (line.Action != TCommandLine::TAction::Run)
        return answer(line);
    const QStringList files = line.Files;

    TSingleInstance instance;
    if (instance.handOver(files))
        return 0;
    instance.listen();

    // The application's picture (this also makes the bundled pictures readable).
    QApplication::setWindowIcon(AppIcon(TAppImage::Catalog));

    // The splash shows while the rest starts; it owns itself once shown.
    TSplashForm *splash = nullptr;
    if (TSplashForm::Wanted()) {
        splash = new TSplashForm;
        splash->setAttribute(Qt::WA_DeleteOnClose);
        // Its closing never ends the program; only the main window's does.
        splash->setAttribute(Qt::WA_QuitOnClose, false);
        splash->showCentred();
        QApplication::processEvents();
    }

    // Messages of operations that have no window to ask (a damaged file
    // list read on the way) appear as message boxes.
    QtPrompter messages;
    SetDefaultPrompter(&messages);

    // Settings of another format are dropped before anything reads them.
    Registry registry;
    const TRevisionCheck revision = RevisionCheck(registry);
    TOptions options;
    options.load(registry);

    // The catalog type for this user's desktop; failures change nothing here.
    TFileTypeRegistration fileType;
    fileType.ProgramPath = QApplication::applicationFilePath();
    fileType.IconSvg = programIconSvg();
    fileType.Signatures = {kSignatureNarrow, kSignatureWide};
    RegisterCatalogFileType(fileType);

    TMainForm window(options, &registry);
    window.setCommandLineFiles(files);
    window.setFirstRun(!revision.MarkerPresent);
    window.setSplash(splash);
    QObject::connect(&instance, &TSingleInstance::activationRequested, &window, [&window] {
        if (window.isMinimized())
            window.showNormal();
        window.raise();
        window.activateWindow();
    });
    QObject::connect(&instance, &TSingleInstance::filesHandedOver, &window,
                     [&window](const QStringList &handed) { window.openCatalogFiles(handed); });
    window.show();
    if (splash)
        splash->raise();
    const int result = QApplication::exec();

    options.saveIfModified(registry, messages);
    SetDefaultPrompter(nullptr);
    return result;
}
