// The font value's byte layout.
#include "settings/FontValue.h"

#include "platform/Texts.h"

#include <QtEndian>

// Font value layout:
//   +0  int32 LE  height
//   +4  u8        style bits
//   +5  u8        n, name length
//   +6  n bytes   face name
//   +6+n u8       spare (written as 0)
namespace {
constexpr int kFontHeightOffset = 0;
constexpr int kFontStyleOffset = 4;
constexpr int kFontNameLengthOffset = 5;
constexpr int kFontNameOffset = 6;
constexpr quint8 kFontStyleMask = fsBold | fsItalic | fsUnderline | fsStrikeOut;
} // namespace

QByteArray EncodeFontValue(const TFontData &font)
{
    const QByteArrayView name = CutAtCharBoundary(font.Name, kFontNameMax);
    QByteArray out(kFontNameOffset, '\0');
    qToLittleEndian<qint32>(font.Height, out.data() + kFontHeightOffset);
    out[kFontStyleOffset] = char(font.Style & kFontStyleMask);
    out[kFontNameLengthOffset] = char(name.size());
    out += name;
    out += char(0);
    return out;
}

std::optional<TFontData> DecodeFontValue(QByteArrayView bytes)
{
    if (bytes.size() < kFontNameOffset || bytes.size() > kFontValueMax)
        return std::nullopt;
    const int nameLength = uchar(bytes[kFontNameLengthOffset]);
    if (kFontNameOffset + nameLength > bytes.size())
        return std::nullopt;
    TFontData font;
    font.Height = qFromLittleEndian<qint32>(bytes.data() + kFontHeightOffset);
    font.Style = uchar(bytes[kFontStyleOffset]) & kFontStyleMask;
    font.Name = bytes.sliced(kFontNameOffset, nameLength).toByteArray();
    return font;
}
