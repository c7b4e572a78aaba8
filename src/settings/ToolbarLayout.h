// The main toolbar's buttons and the byte layout of its arrangement as stored
// in "CustomToolbar": one entry code per byte. Pure encoding: reading and
// writing the value is the settings holder's job (Options.h).
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// Entry codes of the toolbar layout: a button's Tag, or one of these.
inline constexpr quint8 kToolbarSeparator = 0;
inline constexpr quint8 kToolbarMarker = 255;    // "Unused Buttons": the buttons after it are hidden
inline constexpr int kCustomToolbarMax = 256;

struct TToolbarButtonInfo {
    quint8 Tag;
    const char *Name;        // the button's control name
    const char *Hint;        // its hint; null where the button has none of its own
};
// The 27 buttons of the main toolbar, by Tag.
const std::vector<TToolbarButtonInfo> &ToolbarButtons();
// The button with a Tag; null when no button has it.
const TToolbarButtonInfo *FindToolbarButton(int tag);
// The toolbar as designed, ending with the marker.
std::vector<quint8> BuiltInToolbarLayout();
// Builds the entry list from "CustomToolbar" bytes: unknown tags and repeated
// buttons are ignored, separators after the marker dropped, a marker added
// when the bytes have none, and every button the bytes do not name appended
// after the marker (hidden).
std::vector<quint8> ParseCustomToolbar(QByteArrayView bytes);
// One byte per entry, at most kCustomToolbarMax.
QByteArray WriteCustomToolbar(const std::vector<quint8> &entries);
