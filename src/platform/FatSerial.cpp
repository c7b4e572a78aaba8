// The FAT boot sector's serial number: where it lives, what is checked
// before a byte is written, and the FAT32 backup copy kept in step.
#include "platform/FatSerial.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The FAT boot sector, as far as the serial number is concerned:
//
//   0x000  3  jump (EB xx 90 or E9 xx xx)
//   0x00B  2  bytes per sector (512, 1024, 2048, 4096)
//   0x00D  1  sectors per cluster (power of two)
//   0x00E  2  reserved sectors (>= 1)
//   0x010  1  number of FATs (>= 1)
//   0x016  2  sectors per FAT (FAT12/16; 0 on FAT32)
//   FAT12/16:                         FAT32:
//   0x026  1  extended signature 29h  0x024  4  sectors per FAT
//   0x027  4  volume serial           0x032  2  backup boot sector
//   0x036  8  "FAT12   "/"FAT16   "   0x042  1  extended signature 29h
//                                     0x043  4  volume serial
//                                     0x052  8  "FAT32   "
//   0x1FE  2  55h AAh
constexpr int kBootSector = 512;
constexpr int kBytesPerSectorOffset = 0x0B;
constexpr int kSectorsPerClusterOffset = 0x0D;
constexpr int kReservedOffset = 0x0E;
constexpr int kFatCountOffset = 0x10;
constexpr int kFatSize16Offset = 0x16;
constexpr int kFat16SignatureOffset = 0x26;
constexpr int kFat16SerialOffset = 0x27;
constexpr int kFat16TypeOffset = 0x36;
constexpr int kFat32FatSizeOffset = 0x24;
constexpr int kFat32BackupOffset = 0x32;
constexpr int kFat32SignatureOffset = 0x42;
constexpr int kFat32SerialOffset = 0x43;
constexpr int kFat32TypeOffset = 0x52;
constexpr int kBootSignatureOffset = 0x1FE;
constexpr uint8_t kExtendedSignature = 0x29;

// Little-endian fields of a sector the caller has checked to be long enough.
uint16_t le16(const QByteArray &sector, int offset)
{
    return qFromLittleEndian<uint16_t>(sector.constData() + offset);
}

uint32_t le32(const QByteArray &sector, int offset)
{
    return qFromLittleEndian<uint32_t>(sector.constData() + offset);
}

// Where the serial of a FAT boot sector lives; nothing when the sector is not
// a FAT12/16/32 boot sector with an extended BIOS parameter block.
std::optional<int> fatSerialOffset(const QByteArray &sector)
{
    if (sector.size() != kBootSector)
        return std::nullopt;
    const uint8_t jump = uint8_t(sector[0]);
    if (!((jump == 0xEB && uint8_t(sector[2]) == 0x90) || jump == 0xE9))
        return std::nullopt;
    if (uint8_t(sector[kBootSignatureOffset]) != 0x55 || uint8_t(sector[kBootSignatureOffset + 1]) != 0xAA)
        return std::nullopt;
    const uint16_t bytesPerSector = le16(sector, kBytesPerSectorOffset);
    const uint8_t sectorsPerCluster = uint8_t(sector[kSectorsPerClusterOffset]);
    if ((bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 && bytesPerSector != 4096)
        || sectorsPerCluster == 0 || (sectorsPerCluster & (sectorsPerCluster - 1)) != 0
        || le16(sector, kReservedOffset) == 0 || uint8_t(sector[kFatCountOffset]) == 0)
        return std::nullopt;
    if (le16(sector, kFatSize16Offset) == 0) {
        if (le32(sector, kFat32FatSizeOffset) != 0 && uint8_t(sector[kFat32SignatureOffset]) == kExtendedSignature
            && sector.mid(kFat32TypeOffset, 8) == "FAT32   ")
            return kFat32SerialOffset;
        return std::nullopt;
    }
    const QByteArray type = sector.mid(kFat16TypeOffset, 8);
    if (uint8_t(sector[kFat16SignatureOffset]) == kExtendedSignature && (type == "FAT12   " || type == "FAT16   "))
        return kFat16SerialOffset;
    return std::nullopt;
}

bool readAll(int fd, QByteArray &buffer, off_t offset)
{
    qsizetype done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pread(fd, buffer.data() + done, size_t(buffer.size() - done), offset + done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool writeAll(int fd, const QByteArray &buffer, off_t offset)
{
    qsizetype done = 0;
    while (done < buffer.size()) {
        const ssize_t n = ::pwrite(fd, buffer.constData() + done, size_t(buffer.size() - done), offset + done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

bool WriteFatSerial(const QString &devicePath, uint32_t serial)
{
    const QByteArray native = QFile::encodeName(devicePath);
    struct stat st{};
    if (::stat(native.constData(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)))
        return false;
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = false;
    QByteArray sector(kBootSector, '\0');
    if (::fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) && readAll(fd, sector, 0)) {
        if (const auto offset = fatSerialOffset(sector)) {
            // FAT32 keeps a copy of the boot sector; patch it too when it is a true copy.
            QByteArray backup;
            off_t backupAt = 0;
            if (*offset == kFat32SerialOffset) {
                const uint16_t backupSector = le16(sector, kFat32BackupOffset);
                if (backupSector != 0 && backupSector != 0xFFFF && backupSector < le16(sector, kReservedOffset)) {
                    backupAt = off_t(backupSector) * le16(sector, kBytesPerSectorOffset);
                    backup = QByteArray(kBootSector, '\0');
                    if (!readAll(fd, backup, backupAt) || backup != sector)
                        backup.clear();
                }
            }
            QByteArray patched = sector;
            for (int i = 0; i < 4; ++i)
                patched[*offset + i] = char((serial >> (8 * i)) & 0xFF);
            ok = writeAll(fd, patched, 0) && ::fsync(fd) == 0;
            if (ok && !backup.isEmpty())
                ok = writeAll(fd, patched, backupAt) && ::fsync(fd) == 0;
        }
    }
    ::close(fd);
    return ok;
}
