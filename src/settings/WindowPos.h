// The byte layouts of window placements as stored under the main key: the
// 20-byte record of a secondary window ("SearchWndPos", ...) and the main
// window's 30-byte "WindowPos", with the rules that place them on the screen.
// Pure encoding: storing and restoring them is in Options.h.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QRect>
#include <QSize>

#include <optional>

// What placement needs to know of the screen.
struct TScreenGeometry {
    QRect Screen;            // the screen's area (the desktop's, with several screens)
    QSize Maximized;         // the outer size of a maximized window
};

inline constexpr int kWindowPosSize = 20;
inline constexpr int kMainWindowPosSize = 30;

// A maximized window's bounds become the area inside its frame: when its size
// equals the maximized size, the width loses twice the absolute left and the
// height twice the absolute top, and left and top become 0.
QRect NormalizeMaximized(const QRect &bounds, const QSize &maximized);
// Whether a stored placement reaches onto the screen: left before the
// screen's right end and right end not before its left, the same vertically.
bool PlacementOnScreen(const QRect &bounds, const QRect &screen);

// A secondary window's record: its bounds and a value of the window's own.
struct TWindowPosRecord {
    QRect Bounds;
    qint32 Own = -1;
    bool operator==(const TWindowPosRecord &) const = default;
};
// The 20-byte record: left, top, width, height, the window's own value (int32 LE each).
QByteArray EncodeWindowPos(const QRect &bounds, qint32 own);
// Nothing unless exactly kWindowPosSize bytes.
std::optional<TWindowPosRecord> DecodeWindowPos(QByteArrayView bytes);

// The main window's "WindowPos" (30 bytes; bytes 20-27 are unused and written as 0).
struct TMainWindowPos {
    QRect Bounds;
    qint32 TreeWidth = 0;            // width of the catalog tree pane
    quint8 ViewStyle = 0;            // 0 large icons, 1 small icons, 2 list, 3 details
    quint8 SortByte = 0;             // bits 0-2 disk list key, 3-5 file list key, 7 reverse
    bool operator==(const TMainWindowPos &) const = default;
};
QByteArray EncodeMainWindowPos(const TMainWindowPos &pos);
std::optional<TMainWindowPos> DecodeMainWindowPos(QByteArrayView bytes);   // exactly 30 bytes
