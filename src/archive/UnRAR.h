// RAR archives: the directory reader (RAR 1.5 to 4.x and RAR 5, from their
// block headers, over all volumes of a set) and TUnRAR, the extractor that
// hands the decompression to the RAR component (UnrarOps.h).
#pragma once

#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"

#include <QStringList>

// The archive comment the lister reports for a RAR archive that has one: the
// comment itself is stored compressed.
inline constexpr char kRarCommentText[] = "Archive Comment encrypted...";

// The kit's error code for a result of the RAR component (0 for success and the end of
// the archive).
int RarResultToError(int result);

// Extracts RAR members through the RAR component. Members are chosen by the
// explicit name list when one is set (names as listed, "\" separators, any
// case), else by FileSpec as a DOS mask; without a list and without
// wildcards in FileSpec only the first matching member is extracted. Members
// made by a version below 2.0 stop the extraction (25302); an encrypted one
// 25190; data that fails its check ends OnEnd with CRC_PASS false and then
// the extraction with 25111. Folders and links are never written.
class TUnRAR : public TUnBase
{
public:
    // The members to extract by name; empty: by FileSpec.
    QStringList Names;

protected:
    bool acceptsType(TArcType type) const override { return type == TArcType::RAR || type == TArcType::RarExe; }
    int extractMembers(TArcSource &src, const QString &root) override;
};
