// One member of a format checked with CRC-16 (ARC, ZOO): its packed bytes
// read from the archive, decoded through the format's decoder table into the
// member's output file, and the CRC-16 of what was written compared with the
// stored one. Shared by the extractors of those formats; LHA, checked with
// the same CRC-16, writes its members through TCrc16Output too.
#pragma once

#include "archive/ArcSources.h"
#include "archive/UnBase.h"
#include "archive/decoders/Decoder.h"

#include <cstdint>

// The unpacked bytes of a member into its file (cap, progress, temporary
// file), with the running CRC-16. Write fails when the file refuses the
// bytes; the file is borrowed, not owned.
class TCrc16Output : public DecodeOutput
{
public:
    explicit TCrc16Output(TMemberFile &file) : m_file(file) {}
    bool Write(const uint8_t *data, size_t n) override;
    uint16_t crc() const { return m_crc; }

private:
    TMemberFile &m_file;
    uint16_t m_crc = 0;
};

// Where a member's bytes are and what the header says of them.
struct TCrc16Member {
    QString rel;              // the safe output path below root
    int recNum = 0;           // the member's number for OnBegin
    int64_t dataAt = 0;       // first packed byte in the source
    uint64_t packedSize = 0;  // the whole packed data lies inside the source
    uint64_t unpackedSize = 0;
    uint16_t crc = 0;
    uint32_t dosTime = 0;     // packed DOS date-time as stored, local time
    const TDecoderEntry *decoder = nullptr; // null: the format has no decoder for the method
    DecodeParams params;      // method and options; the sizes are taken from the fields above
    int dataErrorCode = 25111; // the code a DataError of this method is reported with
    int refusedCode = 0;      // warned when OnBegin refuses the member; 0: nothing is said
};

// Extracts one member into root. Problems are warned through owner and the
// member is dropped (no file is left): no decoder for the method (25200), a
// declared size above OutputLimit (25140), data that ends early (25135), bad
// data (m.dataErrorCode), a write failure (25114), a member OnBegin refuses
// (m.refusedCode, when set). A CRC mismatch keeps the
// file and warns 25117. Returns true when the file was written. A progress
// handler's EArcAbort passes through.
bool ExtractCrc16Member(TUnBase &owner, TArcSource &src, const QString &root, const TCrc16Member &m);
