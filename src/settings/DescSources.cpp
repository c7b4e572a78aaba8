// The sources of imported descriptions and the "ImportDescOrder" byte layout.
#include "settings/DescSources.h"

#include <algorithm>
#include <utility>

QString DescSourceText(int id)
{
    switch (id) {
    case dsFileIdDiz: return QStringLiteral("FILE_ID.DIZ (multi-line text description)");
    case dsFilesBbs: return QStringLiteral("FILES.BBS (standard BBS descriptions)");
    case dsDescriptIon: return QStringLiteral("DESCRIPT.ION (4DOS/NDOS descriptions)");
    case dsArchiveComment: return QStringLiteral("Compressed file's comment if available");
    default: return QString();
    }
}

TImportDescList InitialImportDescList()
{
    return {TDescSource{dsFileIdDiz, false}, TDescSource{dsDescriptIon, false}, TDescSource{dsFilesBbs, false},
            TDescSource{dsArchiveComment, false}};
}

void ApplyImportDescOrder(TImportDescList &list, QByteArrayView order)
{
    const qsizetype count = std::min<qsizetype>(order.size(), kDescSourceCount);
    for (qsizetype i = 0; i < count; ++i) {
        const quint8 id = uchar(order[i]);
        for (int j = 0; j < kDescSourceCount; ++j) {
            if (list[j].Id == id) {
                std::swap(list[i], list[j]);
                break;
            }
        }
    }
}

QByteArray ImportDescOrderBytes(const TImportDescList &list)
{
    QByteArray out;
    for (const TDescSource &source : list)
        out += char(source.Id);
    return out;
}
