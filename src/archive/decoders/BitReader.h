// Buffered byte and bit access shared by the archive decoders: TByteSource
// reads packed bytes in blocks without ever asking its input for more than
// the member's packed size, TBitReaderLsb and TBitReaderMsb hand out bit
// fields in either order and report running out of input instead of reading
// past it, and TOutputBuffer collects unpacked bytes, never passing more than
// the declared size on.
#pragma once

#include "archive/decoders/Decoder.h"

#include <algorithm>
#include <cstdint>

// Packed bytes of one member, limited to its packed size.
class TByteSource
{
public:
    TByteSource(DecodeInput &in, uint64_t limit) : m_in(in), m_left(limit) {}

    // Next byte into b; false when the input or the packed size is used up.
    bool Next(uint8_t &b)
    {
        if (m_pos == m_len && !Fill())
            return false;
        b = m_buf[m_pos++];
        return true;
    }

    // Up to max bytes: a pointer into the buffer and their count; 0 at the end.
    int64_t Take(const uint8_t *&data, int64_t max)
    {
        if (m_pos == m_len && !Fill())
            return 0;
        const int64_t n = std::min<int64_t>(max, m_len - m_pos);
        data = m_buf + m_pos;
        m_pos += n;
        return n;
    }

    // True when the packed size was reached (rather than the input ending early).
    bool AllRead() const { return m_left == 0 && m_pos == m_len; }

private:
    bool Fill()
    {
        if (m_left == 0 || m_ended)
            return false;
        const int64_t want = static_cast<int64_t>(std::min<uint64_t>(m_left, kArcBufferSize));
        const int64_t got = m_in.Read(m_buf, want);
        if (got <= 0) {
            m_ended = true;
            return false;
        }
        const int64_t n = std::min(got, want);   // never trust a reader that claims more
        m_left -= static_cast<uint64_t>(n);
        m_pos = 0;
        m_len = n;
        return true;
    }

    DecodeInput &m_in;
    uint64_t m_left;
    bool m_ended = false;
    int64_t m_pos = 0;
    int64_t m_len = 0;
    uint8_t m_buf[kArcBufferSize];
};

// LSB-first bit fields (the bit order of shrink, reduce, implode and
// deflate). Peek lets a Huffman decoder look at a whole code and Consume only
// its length; bits peeked past the end of the input read as 0 and are
// counted, so that consuming one of them shows as Overrun().
class TBitReaderLsb
{
public:
    explicit TBitReaderLsb(TByteSource &src) : m_src(src) {}

    // The next n bits (0 <= n <= 24) into value; false when the input ran out.
    bool Get(int n, uint32_t &value)
    {
        while (m_count < n) {
            uint8_t b;
            if (!m_src.Next(b))
                return false;
            m_bits |= static_cast<uint64_t>(b) << m_count;
            m_count += 8;
        }
        if (m_count - m_padding < n)
            return false;   // only zeros Peek put in after the end are left
        value = static_cast<uint32_t>(m_bits & ((uint64_t(1) << n) - 1));
        m_bits >>= n;
        m_count -= n;
        return true;
    }

    // The next n bits (1 <= n <= 32) without consuming them.
    uint32_t Peek(int n)
    {
        while (m_count < n) {
            uint8_t b = 0;
            if (m_padding > 0 || !m_src.Next(b))
                m_padding += 8;
            m_bits |= static_cast<uint64_t>(b) << m_count;
            m_count += 8;
        }
        return static_cast<uint32_t>(m_bits & ((uint64_t(1) << n) - 1));
    }

    // Drops n bits (at most the last Peek's n).
    void Consume(int n)
    {
        m_bits >>= n;
        m_count -= n;
    }

    // Drops the bits up to the next byte boundary.
    void AlignToByte() { Consume(m_count % 8); }

    // True once more bits were consumed than the input held.
    bool Overrun() const { return m_count < m_padding; }

private:
    TByteSource &m_src;
    uint64_t m_bits = 0;
    int m_count = 0;
    int m_padding = 0;   // zero bits at the top of m_bits that lie past the input's end
};

// MSB-first bit fields (the bit order of the LHA, ARJ and ZOO Huffman coders),
// held left-aligned in 64 bits so that a Huffman decoder can peek a whole code
// and consume only its length. Bits past the end of the input read as 0 (a
// coder's last code may sit in fewer bits than the decoder peeks); consuming
// them is recorded, and Overrun() tells the decoder its input was cut short.
class TBitReaderMsb
{
public:
    explicit TBitReaderMsb(TByteSource &src) : m_src(src) {}

    // The next n bits (1 <= n <= 32) without consuming them.
    uint32_t Peek(int n)
    {
        if (m_count < n)
            Refill();
        return static_cast<uint32_t>(m_bits >> (64 - n));
    }

    // Drops n bits (at most the last Peek's n).
    void Consume(int n)
    {
        m_bits <<= n;
        m_count -= n;
    }

    // The next n bits (0 <= n <= 32).
    uint32_t Get(int n)
    {
        if (n == 0)
            return 0;
        const uint32_t v = Peek(n);
        Consume(n);
        return v;
    }

    // True once more bits were consumed than the input held.
    bool Overrun() const { return m_count < 0; }

private:
    void Refill()
    {
        // Whole bytes go in while at least 8 bits are free; once the input is
        // used up the missing bits stay 0. Never called after an overrun: a
        // decoder stops at the first one.
        while (m_count <= 56 && m_count >= 0) {
            if (m_ptr == m_end) {
                const uint8_t *data = nullptr;
                const int64_t n = m_src.Take(data, kArcBufferSize);
                if (n <= 0)
                    return;
                m_ptr = data;
                m_end = data + n;
            }
            m_bits |= static_cast<uint64_t>(*m_ptr++) << (56 - m_count);
            m_count += 8;
        }
    }

    TByteSource &m_src;
    const uint8_t *m_ptr = nullptr;
    const uint8_t *m_end = nullptr;
    uint64_t m_bits = 0;
    int m_count = 0;   // valid bits in m_bits; negative after an overrun
};

// Unpacked bytes on their way to the DecodeOutput, capped at the declared size.
class TOutputBuffer
{
public:
    TOutputBuffer(DecodeOutput &out, uint64_t cap) : m_out(out), m_left(cap) {}

    // True once the declared size has been produced (or the output stopped).
    bool Done() const { return m_left == 0 || m_failed; }
    bool Failed() const { return m_failed; }
    uint64_t Left() const { return m_left; }

    // One byte; ignored once Done().
    void Put(uint8_t b)
    {
        if (Done())
            return;
        m_buf[m_len++] = b;
        --m_left;
        if (m_len == kArcBufferSize || m_left == 0)
            Flush();
    }

    // n bytes; those past the declared size are dropped.
    void PutBlock(const uint8_t *data, uint64_t n)
    {
        while (n > 0 && !Done()) {
            const uint64_t room = static_cast<uint64_t>(kArcBufferSize - m_len);
            const uint64_t k = std::min({n, room, m_left});
            std::copy(data, data + k, m_buf + m_len);
            m_len += static_cast<int64_t>(k);
            m_left -= k;
            data += k;
            n -= k;
            if (m_len == kArcBufferSize || m_left == 0)
                Flush();
        }
    }

    // Passes the buffered bytes on; false when the output refused them.
    bool Flush()
    {
        if (m_len > 0 && !m_failed && !m_out.Write(m_buf, static_cast<size_t>(m_len)))
            m_failed = true;
        m_len = 0;
        return !m_failed;
    }

    // The status of a decoder that stopped: OutputError beats its own view.
    DecodeStatus Finish(DecodeStatus status)
    {
        Flush();
        if (m_failed)
            return DecodeStatus::OutputError;
        if (status == DecodeStatus::Ok && m_left != 0)
            return DecodeStatus::Truncated;
        return status;
    }

private:
    DecodeOutput &m_out;
    uint64_t m_left;
    bool m_failed = false;
    int64_t m_len = 0;
    uint8_t m_buf[kArcBufferSize];
};

// Sliding window of the LZ77-style decoders; bytes before the start read as 0.
template <int Size>
class TSlidingWindow
{
    static_assert((Size & (Size - 1)) == 0, "window size must be a power of two");

public:
    // Writes b to the window and the output.
    void Put(TOutputBuffer &out, uint8_t b)
    {
        m_data[m_pos] = b;
        m_pos = (m_pos + 1) & (Size - 1);
        out.Put(b);
    }

    // Copies length bytes starting distance bytes back (1 = the last byte).
    void Copy(TOutputBuffer &out, uint32_t distance, uint32_t length)
    {
        uint32_t from = (m_pos - distance) & (Size - 1);
        while (length-- > 0 && !out.Done()) {
            Put(out, m_data[from]);
            from = (from + 1) & (Size - 1);
        }
    }

private:
    uint8_t m_data[Size] = {};
    uint32_t m_pos = 0;
};
