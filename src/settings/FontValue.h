// The font of a font slot as plain data, and the byte layout it is stored in
// under the main key ("Font0" to "Font5"). Pure encoding: reading and writing
// the values is the settings holder's job (Options.h).
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// Style bits of a font value.
enum TFontStyleBits : quint8 { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A font as plain data. An empty Name stands for the platform's own font,
// which the windows fill in.
struct TFontData {
    QByteArray Name;         // face name, stored bytes (UTF-8 here)
    qint32 Height = 0;       // the platform's font height; negative: character height in pixels
    quint8 Style = 0;        // TFontStyleBits
    bool operator==(const TFontData &) const = default;
};

// One of the six font slots: the system default or its custom font.
struct TFontSlot {
    bool UseCustomFont = false;
    TFontData Font;          // the custom font (kept while the slot uses the system font)
    bool operator==(const TFontSlot &) const = default;
};

inline constexpr int kFontSlotCount = 6;
// What the slots are for: 0 the catalog tree, 1 the item lists, 2 the
// properties dialog's description boxes, 3 the description assistant, 4
// descriptions as tool-tips, 5 the built-in text viewer.
inline constexpr int kDescFontSlot = 2;
inline constexpr int kViewerFontSlot = 5;
inline constexpr int kFontValueMax = 261;      // readers accept font values up to this size
inline constexpr int kFontNameMax = kFontValueMax - 7;

// A font value: height (int32 LE), style byte, name length byte, the name,
// one spare byte: 7 + name length bytes. Longer names are cut (at a
// character boundary) to kFontNameMax bytes.
QByteArray EncodeFontValue(const TFontData &font);
// Reads a font value of at most kFontValueMax bytes whose name is complete
// (the spare byte may be missing); nothing otherwise. Style bits past
// strike-out are dropped.
std::optional<TFontData> DecodeFontValue(QByteArrayView bytes);
