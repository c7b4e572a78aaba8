// A secondary window's placement kept in the settings (a 20-byte value such
// as "ViewerWndPos"), measured against the primary screen.
#pragma once

#include <QString>

class QWidget;
class Registry;

// Moves window to its stored placement; a missing, damaged or off-screen
// value leaves it where it is.
void RestorePlacement(QWidget *window, Registry &registry, const QString &valueName);
// Stores window's placement (with -1 as the window's own value).
void StorePlacement(const QWidget *window, Registry &registry, const QString &valueName);
