// Window placements in the settings (see Placement.h).
#include "widgets/ui/Placement.h"

#include "settings/Options.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void RestorePlacement(QWidget *window, Registry &registry, const QString &valueName, TPlacedPart part)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const TRestoredPlacement placed = RestoreWindowPos(registry, valueName, screen ? screen->geometry() : QRect(), -1);
    if (!placed.Bounds)
        return;
    QRect bounds = *placed.Bounds;
    if (part == TPlacedPart::KeepHeight)
        bounds.setHeight(window->height());
    window->setGeometry(bounds);
}

void StorePlacement(const QWidget *window, Registry &registry, const QString &valueName)
{
    TScreenGeometry geometry;
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        geometry.Screen = screen->geometry();
        geometry.Maximized = screen->availableGeometry().size();
    }
    StoreWindowPos(registry, valueName, window->geometry(), -1, geometry);
}
