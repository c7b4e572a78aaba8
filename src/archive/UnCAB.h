// The cabinet (CAB) reader: the list reader walks the file entries of a
// cabinet and moves on to the next cabinet of a set; TUnCAB extracts the
// members of stored and MSZIP folders, following a folder whose data blocks
// go on in the next cabinet.
#pragma once

#include "archive/ArcLister.h"
#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"

// The CAB errors beyond the kit's common ones.
enum CabError : int {
    ArcErrLzxMethod = 25148, ArcErrFileNotFound = 25132, ArcErrNeedFirstCabinet = 25901,
    ArcErrNextCabinet = 25903, ArcErrForeignCabinet = 25904,
};

// Whether the file at path is a cabinet (named .cab) that goes on from a previous one: a
// later cabinet of a set, which the listing of the set's first cabinet reads. False when it
// cannot be read or is no such cabinet.
bool IsLaterCabinet(const QString &path);

// The CAB extractor. Members are cut out of their folder's uncompressed
// stream, which is decoded once from its first block to its last member:
// stored and MSZIP folders (deflate blocks that share a 32 KiB window), with
// their blocks' checksums checked (a mismatch is a failed CRC check of the
// members in that block). Quantum members are refused with 25200 and LZX
// members with 25148; a member that goes on from a previous cabinet that was
// not given is refused with 25901. The next cabinets of a set are looked up
// beside the archive without regard to case; one that is missing or belongs
// to another set (25903, 25904) ends the set there.
class TUnCAB : public TUnBase
{
protected:
    bool acceptsType(TArcType type) const override { return type == TArcType::CAB; }
    int extractMembers(TArcSource &src, const QString &root) override;
};
