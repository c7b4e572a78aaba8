// The string resources of a Windows executable, read from its PE resource
// directory: where a self-extractor's stub says its archive starts.
#include "archive/PeResources.h"

#include "platform/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace {

// The file offset of a relative virtual address through the section table; -1 when no section holds it.
int64_t peRvaToOffset(TArcSource &src, int64_t sectionTable, int sectionCount, uint32_t rva)
{
    // Section header (40 bytes): VirtualSize at 8, VirtualAddress at 12,
    // SizeOfRawData at 16, PointerToRawData at 20.
    constexpr int kSectionSize = 40, kVirtSize = 8;
    for (int i = 0; i < sectionCount; ++i) {
        char sec[kSectionSize];
        if (!src.readAt(sectionTable + int64_t(i) * kSectionSize, sec, kSectionSize))
            return -1;
        TByteReader r(QByteArrayView(sec, kSectionSize));
        r.skip(kVirtSize);
        const uint32_t virtSize = r.u32le();
        const uint32_t va = r.u32le();
        const uint32_t rawSize = r.u32le();
        const uint32_t rawPtr = r.u32le();
        const uint32_t vsize = std::max(virtSize, rawSize);
        if (rva >= va && uint64_t(rva) < uint64_t(va) + vsize) {
            const int64_t off = int64_t(rawPtr) + (rva - va);
            return off < src.size() ? off : -1;
        }
    }
    return -1;
}

// Looks up an id entry in a resource directory at dirOffset (inside the resource section at base).
// Returns the entry's target field, or 0 when absent. firstAny takes the first id entry.
bool peFindEntry(TArcSource &src, int64_t base, uint32_t dirRel, uint32_t id, bool firstAny, uint32_t &target)
{
    // IMAGE_RESOURCE_DIRECTORY (16 bytes): NumberOfNamedEntries at 12, NumberOfIdEntries at 14,
    // then 8-byte entries (name or id, offset to data; high bit = subdirectory), named ones first.
    constexpr int kDirHeader = 16, kEntrySize = 8, kNamedCount = 12;
    char header[kDirHeader];
    if (!src.readAt(base + dirRel, header, kDirHeader))
        return false;
    TByteReader hr(QByteArrayView(header, kDirHeader));
    hr.skip(kNamedCount);
    const int named = hr.u16le();
    const int ids = hr.u16le();
    for (int i = 0; i < ids; ++i) {
        char entry[kEntrySize];
        if (!src.readAt(base + dirRel + kDirHeader + int64_t(named + i) * kEntrySize, entry, kEntrySize))
            return false;
        TByteReader er(QByteArrayView(entry, kEntrySize));
        const uint32_t entryId = er.u32le();
        const uint32_t entryTarget = er.u32le();
        if (firstAny || entryId == id) {
            target = entryTarget;
            return true;
        }
    }
    return false;
}

} // namespace

QList<QByteArray> PeStringResources(TArcSource &src, int firstId, int lastId)
{
    QList<QByteArray> result;
    // MZ header: e_lfanew (the PE header's offset) at 3Ch.
    constexpr int kLfanew = 0x3C;
    // COFF header after "PE\0\0": NumberOfSections at 2, SizeOfOptionalHeader at 16 (20 bytes).
    constexpr int kCoffSize = 20, kSectionCount = 2, kOptSize = 16;
    // Optional header: magic 10Bh (PE32) or 20Bh (PE32+); the resource data directory
    // (entry 2) at 112 or 128.
    constexpr uint16_t kPe32 = 0x10B, kPe32Plus = 0x20B;
    constexpr uint32_t kRtString = 6;
    // A string block is 16 strings of at most 65535 UTF-16 units, each after its 16-bit length.
    constexpr int64_t kStringBlockMost = 16 * (2 + 2 * 65535);
    char mz[0x40];
    if (!src.readAt(0, mz, sizeof mz))
        return result;
    const uint32_t peOff = TByteReader::u32At(QByteArrayView(mz, sizeof mz), kLfanew);
    char pe[4 + kCoffSize];
    if (!src.readAt(peOff, pe, sizeof pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
        return result;
    TByteReader coff(QByteArrayView(pe + 4, kCoffSize));
    coff.skip(kSectionCount);
    const int sections = coff.u16le();
    coff.seek(kOptSize);
    const int optSize = coff.u16le();
    const int64_t optOff = int64_t(peOff) + 4 + kCoffSize;
    char opt[136];
    const int optRead = std::min<int>(optSize, sizeof opt);
    if (optRead < 2 || !src.readAt(optOff, opt, optRead))
        return result;
    const QByteArrayView ov(opt, optRead);
    const uint16_t magic = TByteReader::u16At(ov, 0);
    const int dirAt = magic == kPe32 ? 112 : magic == kPe32Plus ? 128 : -1;
    if (dirAt < 0 || dirAt + 8 > optRead)
        return result;
    const uint32_t resRva = TByteReader::u32At(ov, dirAt);
    if (resRva == 0)
        return result;
    const int64_t sectionTable = optOff + optSize;
    const int64_t base = peRvaToOffset(src, sectionTable, std::min(sections, 96), resRva);
    if (base < 0)
        return result;
    constexpr uint32_t kSubdir = 0x80000000u;
    // Level 1: type RT_STRING; level 2: block id (strings 16(n-1) .. 16n-1 live in block n);
    // level 3: the first language; then the data entry (RVA, size).
    for (int id = firstId; id <= lastId; ++id) {
        uint32_t t1 = 0, t2 = 0, t3 = 0;
        const uint32_t block = uint32_t(id / 16 + 1);
        if (!peFindEntry(src, base, 0, kRtString, false, t1) || !(t1 & kSubdir))
            break;
        if (!peFindEntry(src, base, t1 & ~kSubdir, block, false, t2) || !(t2 & kSubdir))
            break;
        if (!peFindEntry(src, base, t2 & ~kSubdir, 0, true, t3) || (t3 & kSubdir))
            break;
        char dataEntry[8];
        if (!src.readAt(base + t3, dataEntry, sizeof dataEntry))
            break;
        TByteReader de(QByteArrayView(dataEntry, sizeof dataEntry));
        const uint32_t dataRva = de.u32le();
        const int64_t dataSize = de.u32le();
        const int64_t dataOff = peRvaToOffset(src, sectionTable, std::min(sections, 96), dataRva);
        if (dataOff < 0)
            break;
        // The block as far as the file holds it; the reader stops at whichever end comes first.
        const int64_t have = std::min({dataSize, src.size() - dataOff, kStringBlockMost});
        QByteArray data(have, Qt::Uninitialized);
        if (!src.readAt(dataOff, data.data(), have))
            break;
        TByteReader r(data);
        QByteArray text;
        for (int index = 0; index < id % 16; ++index)
            r.skip(2 * qsizetype(r.u16le()));
        const int len = r.u16le();
        const int take = std::min(len, 5); // the stubs store at most 5 digits
        for (int k = 0; k < take && !r.failed(); ++k) {
            const uint16_t ch = r.u16le();
            text.append(ch < 0x80 ? char(ch) : '?');
        }
        if (r.failed() || text.isEmpty())
            break;
        result.append(text);
    }
    return result;
}

int64_t PeImageEnd(TArcSource &src)
{
    // e_lfanew at 3Ch; after "PE\0\0" the COFF header: NumberOfSections at 2, SizeOfOptionalHeader
    // at 16; the section table follows the optional header; in a section header (40 bytes)
    // SizeOfRawData is at 16 and PointerToRawData at 20.
    constexpr int kLfanew = 0x3C, kCoffSize = 20, kSectionSize = 40, kMostSections = 96;
    char lfanew[4];
    if (!src.readAt(kLfanew, lfanew, 4))
        return -1;
    const int64_t pe = TByteReader::u32At(QByteArrayView(lfanew, 4), 0);
    char coff[4 + kCoffSize];
    if (!src.readAt(pe, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0)
        return -1;
    const QByteArrayView cv(coff, sizeof coff);
    const int sections = TByteReader::u16At(cv, 4 + 2);
    const int64_t table = pe + 4 + kCoffSize + TByteReader::u16At(cv, 4 + 16);
    if (sections <= 0 || sections > kMostSections)
        return -1;
    int64_t end = -1;
    for (int i = 0; i < sections; ++i) {
        char sec[kSectionSize];
        if (!src.readAt(table + int64_t(i) * kSectionSize, sec, kSectionSize))
            return -1;
        const QByteArrayView sv(sec, kSectionSize);
        const int64_t rawEnd = int64_t(TByteReader::u32At(sv, 20)) + TByteReader::u32At(sv, 16);
        end = std::max(end, rawEnd);
    }
    return end > 0 && end < src.size() ? end : -1;
}
