// The fonts of the font slots (see Fonts.h).
#include "widgets/ui/Fonts.h"

#include <QApplication>

#include <cmath>

QFont CustomSlotFont(const TFontSlot &slot)
{
    QFont font = QApplication::font();
    if (slot.Font.Name.isEmpty())
        return font;
    font.setFamily(QString::fromUtf8(slot.Font.Name));
    // A negative height is the character height in pixels, a positive one
    // the cell height, which is as near as a pixel size comes to it.
    if (slot.Font.Height != 0)
        font.setPixelSize(std::abs(slot.Font.Height));
    font.setBold(slot.Font.Style & fsBold);
    font.setItalic(slot.Font.Style & fsItalic);
    font.setUnderline(slot.Font.Style & fsUnderline);
    font.setStrikeOut(slot.Font.Style & fsStrikeOut);
    return font;
}

QFont SlotFont(const TFontSlot &slot)
{
    return slot.UseCustomFont ? CustomSlotFont(slot) : QApplication::font();
}

TFontData FontDataOf(const QFont &font, int dpiY)
{
    TFontData data;
    data.Name = font.family().toUtf8();
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : int(std::lround(font.pointSizeF() * dpiY / 72.0));
    data.Height = -std::max(pixels, 1);
    data.Style = quint8((font.bold() ? fsBold : 0) | (font.italic() ? fsItalic : 0) | (font.underline() ? fsUnderline : 0)
                        | (font.strikeOut() ? fsStrikeOut : 0));
    return data;
}
