// Owns a zlib stream set up for raw inflate (deflate data without a zlib or
// gzip wrapper), as ZIP members and gzip bodies hold it. ok() is false when
// zlib could not start; the stream is ended when the owner goes.
#pragma once

#include <zlib.h>

class TRawInflater
{
public:
    // -15: a 32 KiB window and no wrapper.
    TRawInflater() { m_ok = inflateInit2(&m_zs, -15) == Z_OK; }
    ~TRawInflater()
    {
        if (m_ok)
            inflateEnd(&m_zs);
    }
    TRawInflater(const TRawInflater &) = delete;
    TRawInflater &operator=(const TRawInflater &) = delete;

    bool ok() const { return m_ok; }
    z_stream &stream() { return m_zs; }

private:
    z_stream m_zs{};
    bool m_ok = false;
};
