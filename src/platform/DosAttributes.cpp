// DOS attributes from the Linux drivers of FAT and NTFS. Each entry is
// opened (without following a link, without blocking) and asked once; a
// driver that answers "not supported" is not asked again for that walk.
#include "platform/DosAttributes.h"

#include <cerrno>
#include <memory>

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Read-only, hidden, system and archive: the bits a file system keeps; the
// folder bit comes from the entry's type, the volume-label bit never
// belongs to a file.
constexpr uint8_t kDosBits = 0x01 | 0x02 | 0x04 | 0x20;

// An open descriptor of an entry, closed on leaving.
class Entry
{
public:
    Entry(int dirFd, const char *name)
        : m_fd(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC))
    {
    }
    ~Entry()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Entry(const Entry &) = delete;
    Entry &operator=(const Entry &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool notSupported(int error)
{
    return error == ENOTTY || error == ENOTSUP || error == ENOSYS;
}

// vfat, msdos: the attribute word of the directory entry.
TDosAttrReader fatReader()
{
    auto off = std::make_shared<bool>(false);
    return [off](int dirFd, const char *name) -> std::optional<uint8_t> {
        if (*off)
            return std::nullopt;
        const Entry entry(dirFd, name);
        if (entry.fd() < 0)
            return std::nullopt;
        uint32_t attr = 0;
        if (::ioctl(entry.fd(), FAT_IOCTL_GET_ATTRIBUTES, &attr) != 0) {
            *off = notSupported(errno);
            return std::nullopt;
        }
        return uint8_t(attr & kDosBits);
    };
}

// ntfs3 keeps the DOS byte as "system.dos_attrib" (one byte); both ntfs3 and
// ntfs-3g give the whole NTFS attribute word as "system.ntfs_attrib_be".
TDosAttrReader ntfsReader()
{
    auto off = std::make_shared<bool>(false);
    return [off](int dirFd, const char *name) -> std::optional<uint8_t> {
        if (*off)
            return std::nullopt;
        const Entry entry(dirFd, name);
        if (entry.fd() < 0)
            return std::nullopt;
        char dos = 0;
        if (::fgetxattr(entry.fd(), "system.dos_attrib", &dos, 1) == 1)
            return uint8_t(uint8_t(dos) & kDosBits);
        char word[4];
        const ssize_t length = ::fgetxattr(entry.fd(), "system.ntfs_attrib_be", word, sizeof word);
        if (length < 0) {
            *off = notSupported(errno);
            return std::nullopt;
        }
        return DosAttributesFromNtfsBe(QByteArrayView(word, length));
    };
}

} // namespace

TDosAttrReader DosAttributeReader(const QString &fsType)
{
    if (fsType == QLatin1StringView("vfat") || fsType == QLatin1StringView("msdos"))
        return fatReader();
    // fuseblk is how ntfs-3g mounts show; other user-space block file
    // systems answer "not supported" once and are left alone after that.
    if (fsType == QLatin1StringView("ntfs3") || fsType == QLatin1StringView("ntfs")
        || fsType == QLatin1StringView("fuseblk") || fsType == QLatin1StringView("fuse.ntfs-3g"))
        return ntfsReader();
    return {};
}

std::optional<uint8_t> DosAttributesFromNtfsBe(QByteArrayView value)
{
    if (value.size() != 4)
        return std::nullopt;
    // The DOS bits are the low byte of the word, the last byte big-endian.
    return uint8_t(uint8_t(value[3]) & kDosBits);
}
