// The archive kit's byte sources: a memory block, and a file read with pread.
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

// Reads of at most this size go through the read-ahead block, which is this large.
constexpr int64_t kSmallRead = 4096;
constexpr int64_t kReadAhead = 65536;

} // namespace

bool TFileSource::readAt(int64_t offset, void *buf, int64_t n)
{
    if (m_fd < 0 || offset < 0 || n < 0 || offset > m_size || n > m_size - offset)
        return false;
    auto *out = static_cast<char *>(buf);
    if (n > kSmallRead)
        return readDirect(offset, out, n);
    if (m_aheadAt < 0 || offset < m_aheadAt || offset + n > m_aheadAt + m_ahead.size()) {
        m_ahead.resize(std::min(kReadAhead, m_size - offset));
        m_aheadAt = -1;
        if (!readDirect(offset, m_ahead.data(), m_ahead.size()))
            return false;
        m_aheadAt = offset;
    }
    if (n > 0)
        std::memcpy(out, m_ahead.constData() + (offset - m_aheadAt), size_t(n));
    return true;
}

bool TFileSource::readDirect(int64_t offset, char *out, int64_t n)
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
