// The fonts of the font slots as the windows use them: a slot's stored font
// data turned into a QFont, and a font the user chose turned back into the
// data a slot stores.
#pragma once

#include "settings/FontValue.h"

#include <QFont>

// The font a slot shows: its custom font when it uses one (face name,
// height, style), otherwise the platform's user interface font.
QFont SlotFont(const TFontSlot &slot);
// The custom font as stored: a font's face name, its character height in
// pixels (negative, as stored heights are) at the given vertical dots per
// inch, and its style bits.
TFontData FontDataOf(const QFont &font, int dpiY);
// The slot's custom font as a QFont, whether or not the slot uses it (what
// the font dialog starts from); the platform's font when it has no name.
QFont CustomSlotFont(const TFontSlot &slot);
