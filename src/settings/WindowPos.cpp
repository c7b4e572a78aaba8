// The byte layouts of window placements.
#include "settings/WindowPos.h"

#include <QtEndian>

#include <cstdlib>
#include <iterator>

// A secondary window's record:
//   +0  int32 LE x 4  left, top, width, height
//   +16 int32 LE      the window's own value
// The main window's "WindowPos":
//   +0  int32 LE x 4  left, top, width, height
//   +16 int32 LE      tree pane width
//   +20 8 bytes       unused
//   +28 u8            view style
//   +29 u8            sort byte
namespace {
constexpr int kOwnOffset = 16;
constexpr int kMainTreeWidthOffset = 16;
constexpr int kMainUnusedBytes = 8;
constexpr int kMainViewStyleOffset = 28;
constexpr int kMainSortOffset = 29;

qint32 int32At(QByteArrayView bytes, int offset)
{
    return qFromLittleEndian<qint32>(bytes.data() + offset);
}

// The four bounds fields and value, int32 LE each.
QByteArray boundsAnd(const QRect &bounds, qint32 value)
{
    const qint32 fields[] = {bounds.left(), bounds.top(), bounds.width(), bounds.height(), value};
    QByteArray out(int(sizeof fields), '\0');
    qToLittleEndian<qint32>(fields, std::size(fields), out.data());
    return out;
}

QRect boundsAt(QByteArrayView bytes)
{
    return QRect(int32At(bytes, 0), int32At(bytes, 4), int32At(bytes, 8), int32At(bytes, 12));
}
} // namespace

QRect NormalizeMaximized(const QRect &bounds, const QSize &maximized)
{
    if (bounds.size() != maximized)
        return bounds;
    // A maximized window's frame lies outside the screen by left and top on
    // each side; what is stored is the part on the screen.
    return QRect(0, 0, bounds.width() - 2 * std::abs(bounds.left()), bounds.height() - 2 * std::abs(bounds.top()));
}

bool PlacementOnScreen(const QRect &bounds, const QRect &screen)
{
    const qint64 left = bounds.left(), top = bounds.top();
    return left < qint64(screen.x()) + screen.width() && left + bounds.width() >= screen.x()
        && top < qint64(screen.y()) + screen.height() && top + bounds.height() >= screen.y();
}

QByteArray EncodeWindowPos(const QRect &bounds, qint32 own)
{
    return boundsAnd(bounds, own);
}

std::optional<TWindowPosRecord> DecodeWindowPos(QByteArrayView bytes)
{
    if (bytes.size() != kWindowPosSize)
        return std::nullopt;
    return TWindowPosRecord{boundsAt(bytes), int32At(bytes, kOwnOffset)};
}

QByteArray EncodeMainWindowPos(const TMainWindowPos &pos)
{
    QByteArray out = boundsAnd(pos.Bounds, pos.TreeWidth);
    out += QByteArray(kMainUnusedBytes, '\0');
    out += char(pos.ViewStyle);
    out += char(pos.SortByte);
    return out;
}

std::optional<TMainWindowPos> DecodeMainWindowPos(QByteArrayView bytes)
{
    if (bytes.size() != kMainWindowPosSize)
        return std::nullopt;
    TMainWindowPos pos;
    pos.Bounds = boundsAt(bytes);
    pos.TreeWidth = int32At(bytes, kMainTreeWidthOffset);
    pos.ViewStyle = uchar(bytes[kMainViewStyleOffset]);
    pos.SortByte = uchar(bytes[kMainSortOffset]);
    return pos;
}
