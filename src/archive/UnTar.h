// The TAR directory reader: 512-byte headers, each followed by its entry's
// data rounded up to 512 bytes. Files and hard links are listed; folders,
// links and devices are passed over. The ustar name prefix, GNU long names
// and pax path and size records give long paths their full names; GNU sparse
// members are listed with the size of the file they stand for.
#pragma once

#include "archive/ArcLister.h"
#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"

#include <QByteArrayView>

#include <memory>
#include <optional>

// A TAR number field: octal digits after optional blanks, ended by NUL or a
// blank, or the base-256 form (first byte with bit 7 set, big-endian value).
// Empty gives 0; garbage, a negative or an oversized value gives nothing.
std::optional<uint64_t> TarNumber(QByteArrayView field);

// The TAR extractor: regular members are copied into their output files
// (stored data only; a sparse member's pieces at their offsets, the gaps left
// as holes), folders are created with UseStoredDirs, a hard link to
// an earlier member of the archive gets a copy of that member's data, and
// symbolic links, devices and fifos are never created: nothing is written
// for them. A header whose data runs past the file's end ends the extraction
// with 25135.
class TUnTar : public TUnBase
{
protected:
    bool acceptsType(TArcType type) const override { return type == TArcType::TAR; }
    // The members matching FileSpec (folders made count as extracted).
    int extractMembers(TArcSource &src, const QString &root) override;
};
