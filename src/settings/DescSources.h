// The four sources of imported descriptions, their order of priority, and its
// byte layout as stored in "ImportDescOrder" (one identifier per byte).
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

// The fixed identifiers of the four sources of imported descriptions.
enum TDescSourceId : quint8 { dsFileIdDiz = 0, dsFilesBbs = 1, dsDescriptIon = 2, dsArchiveComment = 3 };
inline constexpr int kDescSourceCount = 4;

// One row of ImportDescList: a source and its check mark.
struct TDescSource {
    quint8 Id = 0;
    bool Checked = false;
    bool operator==(const TDescSource &) const = default;
};
using TImportDescList = std::array<TDescSource, kDescSourceCount>;

// The item text of a source in ImportDescList.
QString DescSourceText(int id);
// The initial order FILE_ID.DIZ, DESCRIPT.ION, FILES.BBS, comment, unchecked.
TImportDescList InitialImportDescList();
// Applies "ImportDescOrder": for i = 0 to 3 the source with identifier byte i
// changes places with the one at position i (unknown identifiers are skipped).
void ApplyImportDescOrder(TImportDescList &list, QByteArrayView order);
// The identifiers in priority order, 4 bytes.
QByteArray ImportDescOrderBytes(const TImportDescList &list);
