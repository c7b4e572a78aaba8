// The LHA/LZH reader: header levels 0, 1 and 2 with their extended headers,
// listed through TArcListReader and extracted by TUnLHA.
#pragma once

#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"

// The LHA extractor: stored (-lh0-), adaptive Huffman (-lh1-), static
// Huffman (-lh4- to -lh7-) and LArc (-lzs-, -lz5-) members are decoded into
// their files and checked against their CRC-16; folder entries (-lhd-) make
// their folder when stored folders are used (a link, stored as such an entry
// named "name|target", is never made). A member of another method is
// refused with 25200 and the others go on; a member whose data is damaged is
// dropped with 25111 (bad code) or 25135 (data cut short). A header that
// cannot be read ends the extraction with its code.
class TUnLHA : public TUnBase
{
protected:
    bool acceptsType(TArcType type) const override;
    // The members matching FileSpec (folders made count); when none was
    // extracted and one was refused, the extraction ends with that refusal.
    int extractMembers(TArcSource &src, const QString &root) override;
};
