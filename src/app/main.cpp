// The desktop program: settings, one instance per user, the main window,
// and the catalogs named on the command line opened once the window shows.
#include "app/SingleInstance.h"
#include "browser/ui/Icons.h"
#include "browser/ui/QtPrompter.h"
#include "browser/ui/QuillonMain.h"
#include "settings/Options.h"
#include "settings/Registry.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setOrganizationName(QStringLiteral("Orvanta"));
    QApplication::setWindowIcon(AppIcon(TAppImage::Catalog));

    // Catalog files named on the command line, as absolute paths (the first
    // instance may run in another folder).
    QStringList files;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i)
        if (!args[i].isEmpty())
            files << QFileInfo(args[i]).absoluteFilePath();

    TSingleInstance instance;
    if (instance.handOver(files))
        return 0;
    instance.listen();

    // Messages of operations that have no window to ask (a damaged file
    // list read on the way) appear as message boxes.
    QtPrompter messages;
    SetDefaultPrompter(&messages);

    Registry registry;
    RevisionCheck(registry);
    TOptions options;
    options.load(registry);

    TMainForm window(options, &registry);
    QObject::connect(&instance, &TSingleInstance::activationRequested, &window, [&window] {
        if (window.isMinimized())
            window.showNormal();
        window.raise();
        window.activateWindow();
    });
    QObject::connect(&instance, &TSingleInstance::filesHandedOver, &window,
                     [&window](const QStringList &handed) { window.openCatalogFiles(handed); });
    window.show();
    // The first idle moment: the command-line catalogs, then the autoload list.
    QTimer::singleShot(0, &window, [&window, files] { window.openStartupCatalogs(files); });
    const int result = QApplication::exec();

    options.saveIfModified(registry, messages);
    SetDefaultPrompter(nullptr);
    return result;
}
