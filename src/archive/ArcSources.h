// Where an archive's bytes come from: random access that fails past the end,
// over a memory block or an open file.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

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
// Small reads (the headers a listing walks) are served from a 64 KB block read ahead, so a
// directory of thousands of headers costs a few reads instead of one or more per header.
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
    bool readFully(int64_t offset, char *out, int64_t n);

    static constexpr int64_t kReadAhead = 65536;
    static constexpr int64_t kSmallRead = 4096;   // larger reads go straight to the file
    int m_fd = -1;
    int64_t m_size = 0;
    int64_t m_mtime = -1;
    std::unique_ptr<char[]> m_ahead;
    int64_t m_aheadAt = 0;
    int64_t m_aheadLength = 0;
};
