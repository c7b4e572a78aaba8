// LZ77 with static Huffman coding in blocks: LHA -lh4- to -lh7-, ARJ methods
// 1 to 3 and ZOO's LZH. The three formats share the bit stream and differ
// only in the dictionary bits, which also fix how many position codes exist.
//
// A block (bits MSB first):
//   16 bits   number of codes in the block (0 is refused: it would make no progress)
//   temp tree lengths (19 symbols, 5-bit count; see readPtLengths), which code
//   literal/length tree lengths (510 symbols, 9-bit count)
//   position tree lengths (dictBits + 1 symbols, 4-bit count, 5 bits from 16 symbols on)
//   the codes: a literal/length symbol below 256 is a byte; symbol s >= 256 is
//   a match of s - 253 bytes whose distance is coded as a position symbol j
//   (j - 1 more bits follow when j > 1) giving distance - 1.
// A tree whose count is 0 has one symbol, given by the next field, coded in
// no bits at all.
//
// Decoding is by table: a code's first kFastBits bits index a table holding
// symbol and length; longer codes (rare: they belong to rare symbols) are
// found by canonical code ranges per length. Every length, count, symbol and
// distance read from the stream is checked before use.
#include "archive/decoders/Decoder.h"

#include "archive/decoders/BitReader.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace {

constexpr int kMaxCodeBits = 16;
constexpr int kThreshold = 3;                                // shortest match
constexpr int kMaxMatch = 256;
constexpr int kNumC = 256 + kMaxMatch - kThreshold + 1;      // 510 literal/length symbols
constexpr int kNumT = kMaxCodeBits + 3;                      // 19 temp symbols: 3 run codes + lengths 1..16
constexpr int kCBits = 9;                                    // bits of the literal/length count
constexpr int kTBits = 5;                                    // bits of the temp count
constexpr int kMaxNumP = 17;                                 // position symbols for 16 dictionary bits
constexpr int kTempSpecial = 3;                              // after 3 temp lengths a 2-bit zero run follows

// The window: one size for every dictionary (the largest, 16 bits), so that a
// distance is a mask away; bytes are passed on each time it fills.
constexpr uint32_t kWindowSize = 1u << 16;
constexpr uint32_t kWindowMask = kWindowSize - 1;

// A table entry: symbol << 5 | code length; kSlow sends the lookup to the long-code path.
constexpr uint16_t kSlow = 0xFFFF;

// Canonical Huffman decoding table for up to N symbols; FastBits of lookup.
template <int N, int FastBits>
class THuffTable
{
public:
    // Builds the codes from lengths (0 = unused, at most 16). An over-full
    // set of lengths is refused (false); an incomplete one is accepted and
    // its missing codes are refused when met.
    bool build(const uint8_t *lengths, int n)
    {
        std::array<uint16_t, kMaxCodeBits + 1> count{};
        for (int i = 0; i < n; ++i)
            ++count[lengths[i]];
        count[0] = 0;
        int64_t left = 1;
        for (int len = 1; len <= kMaxCodeBits; ++len) {
            left = (left << 1) - count[len];
            if (left < 0)
                return false;
        }
        // First code and first sorted index of every length.
        uint32_t code = 0;
        uint16_t index = 0;
        for (int len = 1; len <= kMaxCodeBits; ++len) {
            m_first[len] = code;
            m_index[len] = index;
            m_count[len] = count[len];
            code = (code + count[len]) << 1;
            index = static_cast<uint16_t>(index + count[len]);
        }
        std::array<uint16_t, kMaxCodeBits + 1> next = m_index;
        for (int i = 0; i < n; ++i)
            if (lengths[i] != 0)
                m_sorted[next[lengths[i]]++] = static_cast<uint16_t>(i);

        std::fill(std::begin(m_fast), std::end(m_fast), kSlow);
        for (int len = 1; len <= FastBits; ++len) {
            for (uint32_t k = 0; k < m_count[len]; ++k) {
                const uint16_t sym = m_sorted[m_index[len] + k];
                const uint32_t start = (m_first[len] + k) << (FastBits - len);
                const uint32_t span = 1u << (FastBits - len);
                std::fill(m_fast + start, m_fast + start + span, static_cast<uint16_t>(sym << 5 | len));
            }
        }
        return true;
    }

    // A tree of one symbol coded in no bits.
    void single(int symbol)
    {
        std::fill(std::begin(m_fast), std::end(m_fast), static_cast<uint16_t>(symbol << 5));
    }

    // The next symbol, or -1 for a code the tree does not have.
    int decode(TBitReaderMsb &bits) const
    {
        const uint16_t e = m_fast[bits.Peek(FastBits)];
        if (e != kSlow) {
            bits.Consume(e & 31);
            return e >> 5;
        }
        const uint32_t code16 = bits.Peek(kMaxCodeBits);
        for (int len = FastBits + 1; len <= kMaxCodeBits; ++len) {
            const uint32_t offset = (code16 >> (kMaxCodeBits - len)) - m_first[len];
            if (offset < m_count[len]) {
                bits.Consume(len);
                return m_sorted[m_index[len] + offset];
            }
        }
        return -1;
    }

private:
    uint16_t m_fast[1u << FastBits];
    std::array<uint32_t, kMaxCodeBits + 1> m_first{};
    std::array<uint16_t, kMaxCodeBits + 1> m_index{};
    std::array<uint16_t, kMaxCodeBits + 1> m_count{};
    uint16_t m_sorted[N] = {};
};

// The whole state of one decode, kept off the stack.
struct TLzhState
{
    TLzhState(DecodeInput &in, uint64_t packedSize) : src(in, packedSize), bits(src) {}

    TByteSource src;
    TBitReaderMsb bits;
    THuffTable<kNumT, 8> temp;       // codes the literal/length lengths
    THuffTable<kNumC, 12> lit;       // literals and match lengths
    THuffTable<kMaxNumP, 8> pos;     // position (distance) classes
    uint8_t window[kWindowSize];
};

// Lengths of the temp or the position tree: a count of nbit bits, then for
// each symbol a 3-bit length, where 7 is followed by a run of 1 bits each
// adding one (ended by a 0). For the temp tree a 2-bit run of zero lengths
// follows the third length. A count of 0 means one symbol in nbit bits.
bool readPtLengths(TBitReaderMsb &bits, int nn, int nbit, int special, auto &table)
{
    const int n = static_cast<int>(bits.Get(nbit));
    if (n == 0) {
        const int symbol = static_cast<int>(bits.Get(nbit));
        if (symbol >= nn)
            return false;
        table.single(symbol);
        return true;
    }
    if (n > nn)
        return false;
    uint8_t lengths[kNumT] = {};
    int i = 0;
    while (i < n) {
        int len = static_cast<int>(bits.Get(3));
        if (len == 7) {
            // Leading ones of the next 16 bits; a length past 16 cannot be a code.
            const int ones = std::countl_one(static_cast<uint16_t>(bits.Peek(16)));
            len += ones;
            if (len > kMaxCodeBits)
                return false;
            bits.Consume(ones + 1);
        }
        lengths[i++] = static_cast<uint8_t>(len);
        if (i == special) {
            // A run of zeros may reach past n (the coder counts them among
            // the next three slots however many symbols it sends); they are
            // zeros anyway, so the run is only kept inside the table.
            int zeros = static_cast<int>(bits.Get(2));
            while (zeros-- > 0 && i < nn)
                lengths[i++] = 0;
        }
    }
    return table.build(lengths, nn);
}

// Lengths of the literal/length tree, each coded through the temp tree:
// temp symbol 0 is one zero length, 1 is 3 to 18 zeros (4 bits), 2 is 20 to
// 531 zeros (9 bits), and t >= 3 is the length t - 2.
bool readCLengths(TBitReaderMsb &bits, THuffTable<kNumT, 8> &temp, THuffTable<kNumC, 12> &lit)
{
    const int n = static_cast<int>(bits.Get(kCBits));
    if (n == 0) {
        const int symbol = static_cast<int>(bits.Get(kCBits));
        if (symbol >= kNumC)
            return false;
        lit.single(symbol);
        return true;
    }
    if (n > kNumC)
        return false;
    uint8_t lengths[kNumC] = {};
    int i = 0;
    while (i < n) {
        const int t = temp.decode(bits);
        if (t < 0 || bits.Overrun())
            return false;
        if (t > 2) {
            lengths[i++] = static_cast<uint8_t>(t - 2);
            continue;
        }
        int zeros = t == 0 ? 1 : t == 1 ? static_cast<int>(bits.Get(4)) + 3 : static_cast<int>(bits.Get(kCBits)) + 20;
        if (zeros > n - i)
            return false;   // a run past the count the block announced
        i += zeros;         // lengths[] is already zero there
    }
    return lit.build(lengths, kNumC);
}

} // namespace

// Returns Ok, DataError (a bad tree, an unknown code, a zero-length block, a
// distance reaching before the first byte), Truncated (input used up first),
// OutputError, Unsupported (dictBits outside 12 to 16).
DecodeStatus DecodeLzhStatic(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    if (params.dictBits < 12 || params.dictBits > 16)
        return DecodeStatus::Unsupported;
    // Position symbols: dictBits + 1, but the 12-bit dictionary shares the
    // 13-bit one's table (its coder may send 14 lengths); the count field
    // widens to 5 bits once 16 symbols do not fit in 4.
    const int numP = params.dictBits <= 13 ? 14 : params.dictBits + 1;
    const int pBits = params.dictBits <= 13 ? 4 : 5;

    auto st = std::make_unique<TLzhState>(in, params.packedSize);
    TBitReaderMsb &bits = st->bits;
    uint8_t *const win = st->window;

    const uint64_t total = params.unpackedSize;
    uint64_t produced = 0;   // bytes decoded so far
    uint32_t wpos = 0;       // write position in the window
    uint32_t flushed = 0;    // window bytes before this were passed on
    uint32_t blockLeft = 0;

    auto flush = [&]() {
        const bool ok = wpos == flushed || out.Write(win + flushed, wpos - flushed);
        flushed = wpos;
        if (wpos == kWindowSize)
            wpos = flushed = 0;
        return ok;
    };

    DecodeStatus status = DecodeStatus::Ok;
    while (produced < total) {
        if (blockLeft == 0) {
            blockLeft = bits.Get(16);
            if (bits.Overrun()) {
                status = DecodeStatus::Truncated;
                break;
            }
            if (blockLeft == 0 || !readPtLengths(bits, kNumT, kTBits, kTempSpecial, st->temp) ||
                !readCLengths(bits, st->temp, st->lit) || !readPtLengths(bits, numP, pBits, -1, st->pos)) {
                status = bits.Overrun() ? DecodeStatus::Truncated : DecodeStatus::DataError;
                break;
            }
        }
        --blockLeft;
        const int c = st->lit.decode(bits);
        if (c < 0) {
            status = bits.Overrun() ? DecodeStatus::Truncated : DecodeStatus::DataError;
            break;
        }
        if (c < 256) {
            if (bits.Overrun()) {
                status = DecodeStatus::Truncated;
                break;
            }
            win[wpos++] = static_cast<uint8_t>(c);
            ++produced;
            if (wpos == kWindowSize && !flush()) {
                status = DecodeStatus::OutputError;
                break;
            }
            continue;
        }
        uint32_t len = static_cast<uint32_t>(c - 256 + kThreshold);
        const int j = st->pos.decode(bits);
        if (j < 0) {
            status = bits.Overrun() ? DecodeStatus::Truncated : DecodeStatus::DataError;
            break;
        }
        const uint32_t dist = (j > 1 ? (1u << (j - 1)) + bits.Get(j - 1) : static_cast<uint32_t>(j)) + 1;
        if (bits.Overrun()) {
            status = DecodeStatus::Truncated;
            break;
        }
        if (dist > produced) {
            status = DecodeStatus::DataError;
            break;
        }
        if (len > total - produced)
            len = static_cast<uint32_t>(total - produced);   // the declared size ends the data
        produced += len;
        uint32_t from = (wpos - dist) & kWindowMask;
        if (from + len <= kWindowSize && wpos + len <= kWindowSize) {
            // No wrap: a forward byte copy repeats the pattern when the ranges overlap.
            if (dist >= len) {
                std::memmove(win + wpos, win + from, len);   // may overlap ahead of wpos: old bytes are wanted
            } else {
                for (uint32_t k = 0; k < len; ++k)
                    win[wpos + k] = win[from + k];
            }
            wpos += len;
            if (wpos == kWindowSize && !flush()) {
                status = DecodeStatus::OutputError;
                break;
            }
            continue;
        }
        bool ok = true;
        while (len-- > 0) {
            win[wpos++] = win[from];
            from = (from + 1) & kWindowMask;
            if (wpos == kWindowSize && !(ok = flush()))
                break;
        }
        if (!ok) {
            status = DecodeStatus::OutputError;
            break;
        }
    }
    if (status == DecodeStatus::OutputError)
        return status;
    if (!flush())
        return DecodeStatus::OutputError;
    return status;
}
