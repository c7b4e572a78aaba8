// A secondary window's placement kept in the settings (a 20-byte value such
// as "ViewerWndPos"), measured against the primary screen.
#pragma once

#include <QString>

class QWidget;
class Registry;

// What of the stored bounds a window takes back.
enum class TPlacedPart { Bounds, KeepHeight };

// Moves window to its stored placement (KeepHeight: position and width only,
// for a window whose height follows its contents); a missing, damaged or
// off-screen value leaves it where it is.
void RestorePlacement(QWidget *window, Registry &registry, const QString &valueName,
                      TPlacedPart part = TPlacedPart::Bounds);
// Stores window's placement (with -1 as the window's own value).
void StorePlacement(const QWidget *window, Registry &registry, const QString &valueName);
