// Hand-made RAR archives for the tests and the benchmark: stored members in
// the RAR 1.5-4 and the RAR 5 block layouts, written out here from the
// published format descriptions (not with the reader under test), single or
// split over volumes, with every field a test varies open to change.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>
#include <vector>

namespace arcfix {

// One stored member. The defaults give a file from a Windows host with its true CRC.
struct RarMember {
    QByteArray name{};                 // as stored (RAR 1.5-4: 8-bit, RAR 5: UTF-8)
    QByteArray data{};
    uint16_t flags = 0;                // RAR 1.5-4 file flags besides 8000h (e.g. 04h encrypted, E0h folder)
    uint32_t dos = 0x3C8A6000;         // 2010-04-10 12:00:00
    uint8_t version = 20;              // version needed
    uint8_t method = 0x30;             // stored
    uint32_t attr = 0x20;
    std::optional<uint32_t> crc{};     // none: the CRC-32 of data
    QByteArray nameField{};            // RAR 1.5-4: written instead of name when set (Unicode names)
    QByteArray comment{};              // RAR 1.5-2: a stored comment block inside the header (flag 08h)
};

// A RAR 1.5-4 archive: marker, main header (mainFlags: 01h volume, 02h comment, 10h new
// naming, 80h encrypted headers), the members, and an end block when endBlock.
QByteArray rar4Of(const std::vector<RarMember> &members, uint16_t mainFlags = 0, bool endBlock = true);

// A RAR 5 archive of the members (name, data and crc are used; unixTime for all).
QByteArray rar5Of(const std::vector<RarMember> &members, uint32_t unixTime = 1270900800);

// The volumes of a set holding one member split into parts of partSize bytes
// of data each; before the split member come the whole members of before.
// rar5 picks the layout; RAR 1.5-4 volumes end with an end block saying that
// another follows, unless oldStyle (no end blocks, as RAR 2 wrote them).
QList<QByteArray> rarVolumesOf(const std::vector<RarMember> &before, const RarMember &split, int partSize,
                               bool rar5, bool oldStyle = false);

// The header CRC of a RAR 1.5-4 block (the low 16 bits of the CRC-32 of the header from
// offset 2) written into it; for tests that change a header's bytes.
void fixRar4Crc(QByteArray &archive, qsizetype headerAt, int headerSize);

} // namespace arcfix
