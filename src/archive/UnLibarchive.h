// The extractor of the archive types read through libarchive (7z, ISO 9660,
// the xz, bzip2 and zstd streams), and the switch that says whether a
// compressed tarball is listed as its members.
#pragma once

#include "archive/UnBase.h"
#include "archive/UnGZIP.h"

// Whether compressed tarballs are listed and extracted as the files inside
// them ("Show the files inside compressed tar archives"); on until the
// settings say otherwise. Safe to ask from any thread.
void SetCompressedTarMembersShown(bool shown);
bool CompressedTarMembersShown();

// Extracts the files of an archive read through libarchive. Each member is
// written through TMemberFile, capped at its declared size (a plain stream's
// one file at OutputLimit); damaged data ends the extraction with 25140, an
// unreadable header with 25108, and nothing of the member is kept.
class TUnLibarchive : public TUnBase
{
protected:
    bool acceptsType(TArcType type) const override;
    int extractMembers(TArcSource &src, const QString &root) override;
};

// The gzip family's extractor: a tarball's files when the setting shows them
// and the data is a tarball, else the GZip extractor's one member.
class TUnGzipTar : public TUnGZIP
{
protected:
    bool acceptsType(TArcType type) const override;
    int extractMembers(TArcSource &src, const QString &root) override;
};

// The member loop of both: unit's settings and events, archiveTime for members
// without a time of their own; tarOnly offers libarchive the tar reader alone.
// Returns how many members were written; raises through unit on damage.
int ExtractThroughLibarchive(TUnBase &unit, TArcSource &src, const QString &root, int64_t archiveTime, bool tarOnly);
