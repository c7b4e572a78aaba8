// Extraction of one CRC-16 member: a DecodeOutput that feeds the member
// file (cap, progress, temporary file) and keeps the running CRC-16.
#include "archive/Crc16Member.h"

#include "archive/ArcErrors.h"
#include "archive/ArcTypes.h"
#include "archive/MemberInput.h"
#include "archive/decoders/Crc32.h"
#include "platform/DosTime.h"

bool TCrc16Output::Write(const uint8_t *data, size_t n)
{
    if (!m_file.write(reinterpret_cast<const char *>(data), int64_t(n)))
        return false;
    m_crc = Crc16ArcUpdate(m_crc, data, n);
    return true;
}

bool ExtractCrc16Member(TUnBase &owner, TArcSource &src, const QString &root, const TCrc16Member &m)
{
    if (!m.decoder) {
        owner.warn(ArcErrUnsupportedMethod);
        return false;
    }
    if (m.unpackedSize > owner.OutputLimit) {
        owner.warn(ArcErrBadLengths);
        return false;
    }
    TMemberFile file(owner, root, m.rel, m.unpackedSize, m.unpackedSize);
    if (!file.open(m.recNum)) {
        if (m.refusedCode != 0 && file.refusedByBegin())
            owner.warn(m.refusedCode);
        return false;
    }
    TMemberInput in(src, m.dataAt, m.packedSize);
    TCrc16Output out(file);
    DecodeParams params = m.params;
    params.packedSize = m.packedSize;
    params.unpackedSize = m.unpackedSize;
    const DecodeStatus status = m.decoder->decode(in, out, params);
    if (status != DecodeStatus::Ok) {
        file.discard();
        switch (status) {
        case DecodeStatus::Truncated:
            owner.warn(ArcErrReadFile);
            break;
        case DecodeStatus::OutputError:
            owner.warn(file.overCap() ? ArcErrBadLengths : int(ArcErrWriteFile));
            break;
        case DecodeStatus::Unsupported:
            owner.warn(ArcErrUnsupportedMethod);
            break;
        default:
            owner.warn(m.dataErrorCode);
            break;
        }
        return false;
    }
    const int64_t mtime = DosToUnix(NormalizedDosDateTime(m.dosTime)).value_or(-1);
    return file.commit(mtime, out.crc() == m.crc);
}
