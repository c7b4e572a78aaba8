// The archive kit's byte sources: a memory block, and a file read with pread
// through a read-ahead window for small reads.
#include "archive/ArcSources.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool TMemorySource::readAt(int64_t offset, void *buf, int64_t n)
{
    if (offset < 0 || n < 0 || offset > m_data.size() || n > m_data.size() - offset)
        return false;
    if (n > 0)
        std::memcpy(buf, m_data.data() + offset, size_t(n));
    return true;
}

TFileSource::TFileSource(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    m_fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    struct stat st;
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = st.st_size;
    m_mtime = st.st_mtime;
}

TFileSource::~TFileSource()
{
    close();
}

bool TFileSource::close()
{
    if (m_fd < 0)
        return true;
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0;
}

namespace {

// The read-ahead window, and the largest read served through it.
constexpr int64_t kWindowSize = 64 * 1024;
constexpr int64_t kSmallRead = 4096;

} // namespace

bool TFileSource::readAt(int64_t offset, void *buf, int64_t n)
{
    if (m_fd < 0 || offset < 0 || n < 0 || offset > m_size || n > m_size - offset)
        return false;
    if (n == 0)
        return true; // nothing to copy, and the window may not exist yet
    auto *out = static_cast<char *>(buf);
    if (n > kSmallRead)
        return readRaw(offset, out, n);
    if (offset < m_windowAt || offset + n > m_windowAt + m_windowLen) {
        if (!m_window)
            m_window = std::make_unique<char[]>(size_t(kWindowSize));
        const int64_t len = std::min(kWindowSize, m_size - offset);
        m_windowLen = 0;
        if (!readRaw(offset, m_window.get(), len))
            return false;
        m_windowAt = offset;
        m_windowLen = len;
    }
    std::memcpy(out, m_window.get() + (offset - m_windowAt), size_t(n));
    return true;
}

bool TFileSource::readRaw(int64_t offset, char *out, int64_t n)
{
    while (n > 0) {
        const ssize_t got = ::pread(m_fd, out, size_t(n), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += got;
        n -= got;
    }
    return true;
}
