// TReadAheadStream: the read-only buffered file reader through which catalogs
// are read. Reads and seeks that fall inside the buffer never touch the file;
// CopyTo carries byte ranges of the old catalog into a new one on save.
// Also the stream error classes of the catalog store.
#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

// Base of the catalog store's exceptions. The message is the system's text.
class EStreamError : public std::runtime_error
{
public:
    explicit EStreamError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    const QString &message() const { return m_message; }

private:
    QString m_message;
};

// The read-ahead stream could not open or read its file.
class EReadBufferError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

// The catalog file's structure is not what the format says.
class EInvalidCatalog : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

// Writing the new catalog file failed (full disk, I/O error).
class EWriteError : public EStreamError
{
public:
    using EStreamError::EStreamError;
};

// Where CopyTo writes. Write raises its own error on failure.
class TOutStream
{
public:
    virtual ~TOutStream() = default;
    virtual void Write(const char *data, int64_t count) = 0;
};

class TReadAheadStream
{
public:
    // 256 KiB less one byte (2^18 - 1), the largest buffer the stream allows.
    // Every open catalog keeps its stream and buffer for lazy loading, so the
    // cap bounds what a caller's size can cost per open catalog; catalogs ask
    // for 16 KiB (kCatalogReadBuffer), far below it.
    static constexpr int kMaxBufferSize = (1 << 18) - 1;

    // Opens fileName for reading; raises EReadBufferError "File open error".
    // bufferSize is cut to kMaxBufferSize (and raised to 1). mode is the open
    // mode of the original interface; only 0 (read only) exists.
    TReadAheadStream(const QString &fileName, int bufferSize, int mode = 0);
    ~TReadAheadStream();
    TReadAheadStream(const TReadAheadStream &) = delete;
    TReadAheadStream &operator=(const TReadAheadStream &) = delete;

    int64_t Position() const { return m_bufferStart + m_bufferPos; }
    // Moves to an absolute position; inside the buffer only the buffer position moves.
    void Seek(int64_t position);
    int64_t Size() const;
    // Copies up to count bytes; fewer only at the end of the file or on a read error.
    int64_t Read(void *dest, int64_t count);
    // Writes count bytes from the current position to out; true when all were copied.
    bool CopyTo(TOutStream &out, int64_t count);
    // The buffer is used up and the file is at its end.
    bool AtEnd() const;
    // The count bytes at position, for a caller that parses them in place
    // (a file list): fewer only at the end of the file or on a read error.
    // They come from a window of their own, so the buffer and the position
    // stay as they were; the view holds until the next ReadRange. Ranges
    // asked for one after the other (the file lists of a folder walk) are
    // read in growing windows, and the file is told to fetch the next one
    // while the caller works on this one.
    QByteArrayView ReadRange(int64_t position, int64_t count);

    int BufferSize() const { return m_bufferSize; }
    int Filled() const { return m_filled; }
    int BufferPosition() const { return m_bufferPos; }
    int64_t BufferStart() const { return m_bufferStart; }
    const QString &FileName() const { return m_fileName; }
    // The open file's descriptor, for copies that go round the buffer (the
    // buffer stays valid: the file is only read).
    int Handle() const { return m_file.handle(); }

private:
    bool Refill();
    template <typename Take>
    int64_t Pump(int64_t count, Take &&take);

    QString m_fileName;
    QFile m_file;
    std::unique_ptr<char[]> m_buffer;
    int m_bufferSize = 0;
    int m_filled = 0;
    int m_bufferPos = 0;
    int64_t m_bufferStart = 0;
    int64_t m_filePos = 0;   // where the next refill reads

    // ReadRange's window: allocated on first use, kRangeMin to kRangeMax
    // bytes (more only for one range larger than that).
    static constexpr int64_t kRangeMin = 64 * 1024;
    static constexpr int64_t kRangeMax = 1024 * 1024;
    static constexpr int64_t kRangeAhead = 4 * kRangeMax;   // asked of the file ahead of a forward walk
    std::unique_ptr<char[]> m_range;
    int64_t m_rangeCapacity = 0;
    int64_t m_rangeStart = 0;
    int64_t m_rangeFilled = 0;
    int64_t m_rangeWindow = 0;
};
