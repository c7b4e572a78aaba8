// Deflate64 (ZIP method 9): deflate with a 64 KiB window, length code 285
// meaning 3 plus 16 extra bits (instead of 258), and distance codes 30 and 31
// (32769 and 49153 plus 14 extra bits). zlib has no public decoder for it, so
// this is a compact inflater of our own: the block structure of RFC 1951,
// canonical Huffman codes decoded through a 10-bit table with a bit-by-bit
// path for longer codes, bits through TBitReaderLsb, output through the
// capped TOutputBuffer.
#include "archive/decoders/BitReader.h"
#include "archive/decoders/Decoder.h"

#include <array>
#include <memory>

namespace {

constexpr int kMaxBits = 15;        // longest code of every deflate alphabet
constexpr int kFastBits = 10;       // codes up to this length decode in one table look-up
constexpr int kMaxLitLen = 288;     // 286 used, 288 in the fixed code
constexpr int kMaxDist = 32;        // Deflate64 uses all 32 distance codes
constexpr int kEndOfBlock = 256;
constexpr uint32_t kWindow = 64 * 1024;

// Lengths of codes 257 to 285; the last is Deflate64's own (3 + 16 extra bits).
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
// Distances of codes 0 to 31; 30 and 31 reach into the 64 KiB window.
constexpr uint32_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,    33,
                                    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025,  1537,
                                    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which a dynamic block sends the code-length code's lengths.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A canonical Huffman code: counts of codes per length and the symbols in code
// order, plus a table of every code up to kFastBits long indexed by the next
// kFastBits input bits (entry = symbol << 4 | length; 0 = longer or unused).
class Huffman
{
public:
    // Builds the code from n lengths (0 = symbol unused). False when the lengths
    // over-subscribe the code, or leave it incomplete other than as no code at
    // all or a single one-bit code (a block without matches, or with one distance).
    bool build(const uint8_t *lengths, int n)
    {
        m_count.fill(0);
        for (int i = 0; i < n; ++i)
            ++m_count[lengths[i]];
        const int used = n - m_count[0];
        m_count[0] = 0;
        int left = 1;
        for (int len = 1; len <= kMaxBits; ++len) {
            left = (left << 1) - m_count[len];
            if (left < 0)
                return false;
        }
        if (left > 0 && used > m_count[1])
            return false;

        std::array<uint16_t, kMaxBits + 1> offset{};
        for (int len = 1; len < kMaxBits; ++len)
            offset[len + 1] = uint16_t(offset[len] + m_count[len]);
        for (int i = 0; i < n; ++i)
            if (lengths[i] != 0)
                m_symbol[offset[lengths[i]]++] = uint16_t(i);

        m_fast.fill(0);
        uint32_t code = 0;
        int index = 0;
        for (int len = 1; len <= kFastBits; ++len) {
            for (int k = 0; k < m_count[len]; ++k, ++code, ++index) {
                // Codes are sent from their top bit on, into an LSB-first stream.
                uint32_t reversed = 0;
                for (int b = 0; b < len; ++b)
                    reversed |= ((code >> b) & 1u) << (len - 1 - b);
                const uint16_t entry = uint16_t(m_symbol[index] << 4 | len);
                for (uint32_t fill = reversed; fill < (1u << kFastBits); fill += 1u << len)
                    m_fast[fill] = entry;
            }
            code <<= 1;
        }
        return true;
    }

    // The next symbol; -1 for a code the lengths left unused or input that ran out.
    int decode(TBitReaderLsb &bits) const
    {
        const uint32_t peek = bits.Peek(kMaxBits);
        const uint16_t entry = m_fast[peek & ((1u << kFastBits) - 1)];
        if (entry != 0) {
            bits.Consume(entry & 15);
            return bits.Overrun() ? -1 : entry >> 4;
        }
        // Longer codes, a bit at a time (puff's canonical walk).
        int code = 0, first = 0, index = 0;
        for (int len = 1; len <= kMaxBits; ++len) {
            code |= int((peek >> (len - 1)) & 1u);
            const int count = m_count[len];
            if (code - first < count) {
                bits.Consume(len);
                return bits.Overrun() ? -1 : m_symbol[index + code - first];
            }
            index += count;
            first = (first + count) << 1;
            code <<= 1;
        }
        return -1;
    }

private:
    std::array<uint16_t, kMaxBits + 1> m_count{};
    std::array<uint16_t, kMaxLitLen> m_symbol{};
    std::array<uint16_t, 1u << kFastBits> m_fast{};
};

class Inflater64
{
public:
    Inflater64(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
        : m_src(in, params.packedSize), m_bits(m_src), m_out(out, params.unpackedSize)
    {
    }

    DecodeStatus run()
    {
        for (;;) {
            uint32_t last = 0, type = 0;
            if (!m_bits.Get(1, last) || !m_bits.Get(2, type))
                return m_out.Finish(DecodeStatus::Truncated);
            DecodeStatus st = DecodeStatus::DataError;
            if (type == 0)
                st = stored();
            else if (type == 1)
                st = fixedBlock();
            else if (type == 2)
                st = dynamicBlock();
            if (st != DecodeStatus::Ok || m_out.Failed())
                return m_out.Finish(st);
            if (last)
                // The stream ended: short of the declared size is damage, not a short file.
                return m_out.Finish(m_out.Left() == 0 ? DecodeStatus::Ok : DecodeStatus::DataError);
        }
    }

private:
    // A stored block: LEN and its complement NLEN at the next byte boundary, then LEN bytes.
    DecodeStatus stored()
    {
        m_bits.AlignToByte();
        uint32_t len = 0, nlen = 0;
        if (!m_bits.Get(16, len) || !m_bits.Get(16, nlen))
            return DecodeStatus::Truncated;
        if (len != (~nlen & 0xFFFFu))
            return DecodeStatus::DataError;
        if (len > m_out.Left())
            return DecodeStatus::DataError;
        for (uint32_t i = 0; i < len; ++i) {
            uint32_t b = 0;
            if (!m_bits.Get(8, b))
                return DecodeStatus::Truncated;
            put(uint8_t(b));
        }
        return DecodeStatus::Ok;
    }

    DecodeStatus fixedBlock()
    {
        uint8_t lengths[kMaxLitLen + kMaxDist];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + kMaxLitLen, 8);
        std::fill(lengths + kMaxLitLen, lengths + kMaxLitLen + kMaxDist, 5);
        if (!m_lit.build(lengths, kMaxLitLen) || !m_dist.build(lengths + kMaxLitLen, kMaxDist))
            return DecodeStatus::DataError;
        return codes();
    }

    DecodeStatus dynamicBlock()
    {
        uint32_t hlit = 0, hdist = 0, hclen = 0;
        if (!m_bits.Get(5, hlit) || !m_bits.Get(5, hdist) || !m_bits.Get(4, hclen))
            return DecodeStatus::Truncated;
        const int nlen = int(hlit) + 257, ndist = int(hdist) + 1, ncode = int(hclen) + 4;
        if (nlen > 286)
            return DecodeStatus::DataError;
        uint8_t lengths[kMaxLitLen + kMaxDist] = {};
        for (int i = 0; i < ncode; ++i) {
            uint32_t v = 0;
            if (!m_bits.Get(3, v))
                return DecodeStatus::Truncated;
            lengths[kCodeLengthOrder[i]] = uint8_t(v);
        }
        Huffman lencode;
        if (!lencode.build(lengths, 19))
            return DecodeStatus::DataError;
        std::fill(lengths, lengths + 19, 0);
        for (int i = 0; i < nlen + ndist;) {
            const int sym = lencode.decode(m_bits);
            if (sym < 0)
                return m_bits.Overrun() ? DecodeStatus::Truncated : DecodeStatus::DataError;
            if (sym < 16) {
                lengths[i++] = uint8_t(sym);
                continue;
            }
            // 16 repeats the last length 3-6 times, 17 and 18 give 3-10 and 11-138 zeros.
            uint8_t value = 0;
            uint32_t extra = 0;
            int repeat = 0;
            if (sym == 16) {
                if (i == 0)
                    return DecodeStatus::DataError;
                value = lengths[i - 1];
                if (!m_bits.Get(2, extra))
                    return DecodeStatus::Truncated;
                repeat = 3 + int(extra);
            } else if (sym == 17) {
                if (!m_bits.Get(3, extra))
                    return DecodeStatus::Truncated;
                repeat = 3 + int(extra);
            } else {
                if (!m_bits.Get(7, extra))
                    return DecodeStatus::Truncated;
                repeat = 11 + int(extra);
            }
            if (i + repeat > nlen + ndist)
                return DecodeStatus::DataError;
            std::fill(lengths + i, lengths + i + repeat, value);
            i += repeat;
        }
        if (lengths[kEndOfBlock] == 0)
            return DecodeStatus::DataError;   // a block that could never end
        if (!m_lit.build(lengths, nlen) || !m_dist.build(lengths + nlen, ndist))
            return DecodeStatus::DataError;
        return codes();
    }

    // The literals and matches of one block, up to its end-of-block code.
    DecodeStatus codes()
    {
        for (;;) {
            const int sym = m_lit.decode(m_bits);
            if (sym < 0)
                return m_bits.Overrun() ? DecodeStatus::Truncated : DecodeStatus::DataError;
            if (sym == kEndOfBlock)
                return DecodeStatus::Ok;
            if (m_out.Done())   // more data than the header declares, or the output stopped
                return m_out.Failed() ? DecodeStatus::OutputError : DecodeStatus::DataError;
            if (sym < kEndOfBlock) {
                put(uint8_t(sym));
                continue;
            }
            const int lc = sym - 257;
            if (lc >= 29)
                return DecodeStatus::DataError;   // codes 286 and 287 are never sent
            uint32_t extra = 0;
            if (!m_bits.Get(kLengthExtra[lc], extra))
                return DecodeStatus::Truncated;
            const uint32_t length = kLengthBase[lc] + extra;
            const int dc = m_dist.decode(m_bits);
            if (dc < 0)
                return m_bits.Overrun() ? DecodeStatus::Truncated : DecodeStatus::DataError;
            if (!m_bits.Get(kDistExtra[dc], extra))
                return DecodeStatus::Truncated;
            const uint32_t distance = kDistBase[dc] + extra;
            if (distance > m_produced || length > m_out.Left())
                return DecodeStatus::DataError;   // before the start, or past the declared size
            m_window->Copy(m_out, distance, length);
            m_produced += length;
            if (m_out.Failed())
                return DecodeStatus::OutputError;
        }
    }

    void put(uint8_t b)
    {
        m_window->Put(m_out, b);
        ++m_produced;
    }

    TByteSource m_src;
    TBitReaderLsb m_bits;
    TOutputBuffer m_out;
    std::unique_ptr<TSlidingWindow<kWindow>> m_window = std::make_unique<TSlidingWindow<kWindow>>();
    uint64_t m_produced = 0;
    Huffman m_lit, m_dist;
};

} // namespace

// Returns Ok; DataError (a bad block type, code, code set or distance, a
// stored length that does not match its complement, a stream that ends before
// the declared size or would go on past it); Truncated (the input ends before
// the stream does); OutputError.
DecodeStatus DecodeInflate64(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto inflater = std::make_unique<Inflater64>(in, out, params);
    return inflater->run();
}
