// Where an archive's bytes come from: random access that fails past the end,
// over a memory block or an open file.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Random access to an archive's bytes. Reads past the end fail, never wrap.
class TArcSource
{
public:
    virtual ~TArcSource() = default;
    // Total size in bytes.
    virtual int64_t size() const = 0;
    // Reads exactly n bytes at offset into buf; false when they are not all there.
    virtual bool readAt(int64_t offset, void *buf, int64_t n) = 0;
};

// A source over a memory block the caller keeps alive.
class TMemorySource : public TArcSource
{
public:
    // Keeps a (shared, not copied) reference to data, so a temporary may be passed.
    explicit TMemorySource(QByteArray data) : m_data(std::move(data)) {}
    int64_t size() const override { return m_data.size(); }
    bool readAt(int64_t offset, void *buf, int64_t n) override;

private:
    QByteArray m_data;
};

// A source over an open file (POSIX descriptor, read with pread); closes it on destruction.
// Small reads (headers, names) are served from a block read ahead, as a listing walks its
// headers in file order and one system call per header field would cost more than the rest.
class TFileSource : public TArcSource
{
public:
    // Opens path read-only; isOpen() says whether that worked.
    explicit TFileSource(const QString &path);
    ~TFileSource() override;
    TFileSource(const TFileSource &) = delete;
    TFileSource &operator=(const TFileSource &) = delete;
    bool isOpen() const { return m_fd >= 0; }
    int64_t size() const override { return m_size; }
    bool readAt(int64_t offset, void *buf, int64_t n) override;
    // The file's modification time (seconds since 1970, UTC); -1 when unknown.
    int64_t mtime() const { return m_mtime; }
    // Closes the file; false when closing failed.
    bool close();

private:
    bool readDirect(int64_t offset, char *out, int64_t n);
    int m_fd = -1;
    int64_t m_size = 0;
    int64_t m_mtime = -1;
    QByteArray m_ahead;        // the bytes read ahead
    int64_t m_aheadAt = -1;    // their offset; -1 when none
};
