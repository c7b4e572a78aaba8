// Decoder input and output over memory for the archive decoder tests: an
// input that hands out a byte range in pieces of a chosen size and counts
// what it gave, and an output that keeps every byte and can refuse a write.
#pragma once

#include "archive/decoders/Decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace testcodec {

class TMemoryInput : public DecodeInput
{
public:
    // piece: the most bytes one Read gives (0 = as many as asked).
    TMemoryInput(const uint8_t *data, size_t n, size_t piece = 0) : m_data(data), m_left(n), m_piece(piece) {}
    int64_t Read(uint8_t *buf, int64_t max) override
    {
        size_t n = std::min<size_t>(m_left, static_cast<size_t>(max));
        if (m_piece != 0)
            n = std::min(n, m_piece);
        std::memcpy(buf, m_data, n);
        m_data += n;
        m_left -= n;
        m_given += n;
        return static_cast<int64_t>(n);
    }
    size_t given() const { return m_given; }

private:
    const uint8_t *m_data;
    size_t m_left;
    size_t m_piece;
    size_t m_given = 0;
};

class TMemoryOutput : public DecodeOutput
{
public:
    // refuseAfter: the number of writes taken before one is refused (-1: never).
    explicit TMemoryOutput(int refuseAfter = -1) : m_refuseAfter(refuseAfter) {}
    bool Write(const uint8_t *data, size_t n) override
    {
        if (m_refuseAfter >= 0 && m_calls++ >= m_refuseAfter)
            return false;
        bytes.insert(bytes.end(), data, data + n);
        return true;
    }
    std::vector<uint8_t> bytes;

private:
    int m_refuseAfter;
    int m_calls = 0;
};

// Packs bit fields MSB first, as the LHA, ARJ and ZOO Huffman coders write them.
class TBitWriterMsb
{
public:
    void put(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i) {
            if (m_fill == 0)
                bytes.push_back(0);
            if ((value >> i) & 1)
                bytes.back() = static_cast<uint8_t>(bytes.back() | (0x80 >> m_fill));
            m_fill = (m_fill + 1) & 7;
        }
    }
    std::vector<uint8_t> bytes;

private:
    int m_fill = 0;
};

} // namespace testcodec
