// Hand-made RAR archives (see RarFixtures.h).
#include "RarFixtures.h"

#include <QtEndian>

#include <zlib.h>

namespace arcfix {

namespace {

void le16(QByteArray &b, uint16_t v)
{
    char c[2];
    qToLittleEndian(v, c);
    b.append(c, 2);
}

void le32(QByteArray &b, uint32_t v)
{
    char c[4];
    qToLittleEndian(v, c);
    b.append(c, 4);
}

uint32_t crcOf(QByteArrayView data)
{
    return uint32_t(crc32(0, reinterpret_cast<const Bytef *>(data.data()), uInt(data.size())));
}

// A RAR 5 variable-length integer.
void vint(QByteArray &b, uint64_t v)
{
    do {
        const uint8_t low = v & 0x7F;
        v >>= 7;
        b.append(char(low | (v ? 0x80 : 0)));
    } while (v);
}

// A RAR 1.5-4 block with its CRC: type, flags, then body after the 7 common bytes.
QByteArray block4(uint8_t type, uint16_t flags, const QByteArray &body)
{
    QByteArray b;
    le16(b, 0);
    b.append(char(type));
    le16(b, flags);
    le16(b, uint16_t(7 + body.size()));
    b += body;
    fixRar4Crc(b, 0, int(b.size()));
    return b;
}

QByteArray main4(uint16_t flags)
{
    return QByteArray("Rar!\x1A\x07\x00", 7) + block4(0x73, flags, QByteArray(6, '\0'));
}

QByteArray file4(const RarMember &m, const QByteArray &part, uint16_t extraFlags, uint32_t crc)
{
    const QByteArray name = m.nameField.isEmpty() ? m.name : m.nameField;
    QByteArray body;
    le32(body, uint32_t(part.size()));
    le32(body, uint32_t(m.data.size()));
    body.append(char(2)); // Win32
    le32(body, crc);
    le32(body, m.dos);
    body.append(char(m.version));
    body.append(char(m.method));
    le16(body, uint16_t(name.size()));
    le32(body, m.attr);
    body += name;
    uint16_t flags = uint16_t(0x8000 | m.flags | extraFlags);
    if (!m.comment.isEmpty()) {
        flags |= 0x08;
        QByteArray c;
        le16(c, uint16_t(m.comment.size()));
        c.append(char(15));   // version of the comment
        c.append(char(0x30)); // stored
        le16(c, uint16_t(crcOf(m.comment)));
        body += block4(0x75, 0, c + m.comment);
    }
    return block4(0x74, flags, body) + part;
}

QByteArray end4(bool more)
{
    return block4(0x7B, more ? 0x0001 : 0, {});
}

QByteArray block5(uint64_t type, uint64_t flags, const QByteArray &fields, uint64_t dataSize = 0)
{
    QByteArray body;
    vint(body, type);
    vint(body, flags | (dataSize ? 0x02 : 0));
    if (dataSize)
        vint(body, dataSize);
    body += fields;
    QByteArray sized;
    vint(sized, uint64_t(body.size()));
    sized += body;
    QByteArray b;
    le32(b, crcOf(sized));
    return b + sized;
}

// A RAR 5 signature and main header; volumes after the first carry their number (1, 2, ...).
QByteArray main5(bool volume, int number = 0)
{
    QByteArray f;
    vint(f, (volume ? 0x01 : 0) | (number > 0 ? 0x02 : 0));
    if (number > 0)
        vint(f, uint64_t(number));
    return QByteArray("Rar!\x1A\x07\x01\x00", 8) + block5(1, 0, f);
}

QByteArray file5(const RarMember &m, const QByteArray &part, uint64_t splitFlags, uint32_t crc, uint32_t unixTime)
{
    QByteArray f;
    vint(f, 0x02 | 0x04);          // time and CRC present
    vint(f, uint64_t(m.data.size()));
    vint(f, m.attr);
    le32(f, unixTime);
    le32(f, crc);
    vint(f, 0);                    // stored, version 0
    vint(f, 0);                    // Windows
    vint(f, uint64_t(m.name.size()));
    f += m.name;
    return block5(2, splitFlags, f, uint64_t(part.size())) + part;
}

QByteArray end5(bool more)
{
    QByteArray f;
    vint(f, more ? 1 : 0);
    return block5(5, 0, f);
}

} // namespace

void fixRar4Crc(QByteArray &archive, qsizetype headerAt, int headerSize)
{
    const uint32_t crc = crcOf(QByteArrayView(archive).sliced(headerAt + 2, headerSize - 2));
    qToLittleEndian(uint16_t(crc), archive.data() + headerAt);
}

QByteArray rar4Of(const std::vector<RarMember> &members, uint16_t mainFlags, bool endBlock)
{
    QByteArray out = main4(mainFlags);
    for (const RarMember &m : members)
        out += file4(m, m.data, 0, m.crc.value_or(crcOf(m.data)));
    if (endBlock)
        out += end4(false);
    return out;
}

QByteArray rar5Of(const std::vector<RarMember> &members, uint32_t unixTime)
{
    QByteArray out = main5(false);
    for (const RarMember &m : members)
        out += file5(m, m.data, 0, m.crc.value_or(crcOf(m.data)), unixTime);
    return out + end5(false);
}

QList<QByteArray> rarVolumesOf(const std::vector<RarMember> &before, const RarMember &split, int partSize,
                               bool rar5, bool oldStyle)
{
    QList<QByteArray> volumes;
    const int parts = std::max<int>(1, int((split.data.size() + partSize - 1) / partSize));
    for (int i = 0; i < parts; ++i) {
        const QByteArray part = split.data.mid(qsizetype(i) * partSize, partSize);
        const bool first = i == 0, last = i == parts - 1;
        // Earlier parts carry the CRC of their own bytes, the last one that of the whole file.
        const uint32_t crc = last ? split.crc.value_or(crcOf(split.data)) : crcOf(part);
        QByteArray v;
        if (rar5) {
            v = main5(true, i);
            if (first)
                for (const RarMember &m : before)
                    v += file5(m, m.data, 0, crcOf(m.data), 1270900800);
            v += file5(split, part, (first ? 0 : 0x08) | (last ? 0 : 0x10), crc, 1270900800);
            v += end5(!last);
        } else {
            v = main4(0x0001);
            if (first)
                for (const RarMember &m : before)
                    v += file4(m, m.data, 0, crcOf(m.data));
            v += file4(split, part, uint16_t((first ? 0 : 0x01) | (last ? 0 : 0x02)), crc);
            if (!oldStyle)
                v += end4(!last);
        }
        volumes << v;
    }
    return volumes;
}

} // namespace arcfix
