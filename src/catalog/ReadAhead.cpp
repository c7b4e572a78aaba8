// The read-ahead stream.
#include "catalog/ReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

TReadAheadStream::TReadAheadStream(const QString &fileName, int bufferSize, int mode)
    : m_fileName(fileName), m_file(fileName)
{
    (void)mode;   // 0, read only, is the one mode there is
    if (!m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw EReadBufferError(QStringLiteral("File open error"));
    m_bufferSize = std::clamp(bufferSize, 1, kMaxBufferSize);
    m_buffer = std::make_unique<char[]>(size_t(m_bufferSize));
}

TReadAheadStream::~TReadAheadStream() = default;

int64_t TReadAheadStream::Size() const
{
    return m_file.size();
}

void TReadAheadStream::Seek(int64_t position)
{
    if (position >= m_bufferStart && position < m_bufferStart + m_filled) {
        m_bufferPos = int(position - m_bufferStart);
        return;
    }
    if (position < 0)
        position = 0;
    m_filePos = position;
    m_bufferStart = position;
    m_filled = 0;
    m_bufferPos = 0;
}

bool TReadAheadStream::Refill()
{
    m_bufferStart = m_filePos;
    m_bufferPos = 0;
    m_filled = 0;
    if (!m_file.seek(m_filePos))
        return false;
    const qint64 got = m_file.read(m_buffer.get(), m_bufferSize);
    if (got <= 0)
        return false;
    m_filled = int(got);
    m_filePos += got;
    return true;
}

// The loop shared by Read and CopyTo: hands out buffered pieces to take,
// refilling when the buffer is used up, until count bytes went or a refill
// failed. Returns the bytes handed out.
template <typename Take>
int64_t TReadAheadStream::Pump(int64_t count, Take &&take)
{
    int64_t remaining = std::max<int64_t>(count, 0);
    while (remaining > 0) {
        bool refillFailed = false;
        if (m_bufferPos >= m_filled)
            refillFailed = !Refill();
        const int64_t piece = std::min<int64_t>(remaining, m_filled - m_bufferPos);
        if (piece > 0) {
            take(m_buffer.get() + m_bufferPos, piece);
            m_bufferPos += int(piece);
            remaining -= piece;
        }
        if (refillFailed)
            break;
    }
    return std::max<int64_t>(count, 0) - remaining;
}

int64_t TReadAheadStream::Read(void *dest, int64_t count)
{
    auto *out = static_cast<char *>(dest);
    return Pump(count, [&](const char *piece, int64_t n) {
        std::memcpy(out, piece, size_t(n));
        out += n;
    });
}

bool TReadAheadStream::CopyTo(TOutStream &out, int64_t count)
{
    const int64_t copied = Pump(count, [&](const char *piece, int64_t n) { out.Write(piece, n); });
    return copied == std::max<int64_t>(count, 0);
}

bool TReadAheadStream::AtEnd() const
{
    return m_bufferPos >= m_filled && m_bufferStart + m_filled >= m_file.size();
}

QByteArrayView TReadAheadStream::ReadRange(int64_t position, int64_t count)
{
    if (count <= 0 || position < 0)
        return {};
    if (position >= m_rangeStart && position + count <= m_rangeStart + m_rangeFilled)
        return QByteArrayView(m_range.get() + (position - m_rangeStart), qsizetype(count));

    // A range that starts in the window or shortly after it continues a
    // forward walk: the window doubles; any other starts small again.
    const bool forward = m_rangeFilled > 0 && position >= m_rangeStart &&
                         position <= m_rangeStart + m_rangeFilled + kRangeMin;
    m_rangeWindow = forward ? std::min(m_rangeWindow * 2, kRangeMax) : kRangeMin;
    const int64_t want = std::max(count, m_rangeWindow);
    if (want > m_rangeCapacity || (m_rangeCapacity > kRangeMax && want <= kRangeMax)) {
        m_range.reset();   // the old window goes before the new one comes
        m_rangeCapacity = 0;
        m_range = std::make_unique_for_overwrite<char[]>(size_t(want));
        m_rangeCapacity = want;
    }
    m_rangeStart = position;
    m_rangeFilled = 0;
    const int fd = m_file.handle();
    while (m_rangeFilled < want) {
        const ssize_t got = ::pread(fd, m_range.get() + m_rangeFilled, size_t(want - m_rangeFilled),
                                    off_t(position + m_rangeFilled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        m_rangeFilled += got;
    }
    // The file is asked for what comes next while the caller parses this
    // window: after a jump the next window, on a forward walk the next
    // kRangeAhead bytes (mostly asked for already, which costs nothing).
    if (m_rangeFilled == want)
        ::posix_fadvise(fd, off_t(position + want), off_t(forward ? kRangeAhead : kRangeMin), POSIX_FADV_WILLNEED);
    return QByteArrayView(m_range.get(), qsizetype(std::min(count, m_rangeFilled)));
}
