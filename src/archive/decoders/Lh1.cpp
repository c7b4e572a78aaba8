// LHA -lh1-: LZ77 over a 4 KB window whose literals and match lengths are
// coded with an adaptive Huffman tree (every symbol starts with frequency 1
// and the tree follows the counts as symbols are decoded; all counts are
// halved when the root reaches 8000h), and whose match positions are coded
// as a fixed code for the upper 6 bits followed by the lower 6 bits as they
// are. Bits are read MSB first. The window starts filled with spaces, which
// matches may refer to.
//
// The tree cannot be corrupted by input: any sequence of symbols is a valid
// history, so only running out of input can end the decode early.
#include "archive/decoders/LhaDecoders.h"

#include "archive/decoders/BitReader.h"

#include <algorithm>
#include <array>
#include <memory>

namespace {

constexpr int kWindowBits = 12;
constexpr uint32_t kWindowSize = 1u << kWindowBits;
constexpr int kMaxMatch = 60;
constexpr int kThreshold = 2;
constexpr int kNumSymbols = 256 - kThreshold + kMaxMatch;   // 314: bytes and lengths 3..60
constexpr int kTreeSize = kNumSymbols * 2 - 1;              // 627 nodes
constexpr int kRoot = kTreeSize - 1;
constexpr uint32_t kMaxFreq = 0x8000;

// The position code's upper 6 bits: by the first 8 bits read, the value and
// how many bits the code really has (3 to 8; the rest of the 8 belong to the
// lower 6 bits). 32 codes of 3 bits for 0, 48 of 4 bits for 1 to 3, 64 of 5
// bits for 4 to 11, 48 of 6 for 12 to 23, 48 of 7 for 24 to 47, 16 of 8 for
// 48 to 63.
struct TPosTables
{
    std::array<uint8_t, 256> code{};
    std::array<uint8_t, 256> length{};
};

constexpr TPosTables makePosTables()
{
    TPosTables t;
    // (bits, number of upper values) for each code length
    constexpr int groups[6][2] = {{3, 1}, {4, 3}, {5, 8}, {6, 12}, {7, 24}, {8, 16}};
    int index = 0;
    int value = 0;
    for (const auto &g : groups) {
        const int span = 1 << (8 - g[0]);
        for (int v = 0; v < g[1]; ++v, ++value)
            for (int k = 0; k < span; ++k, ++index) {
                t.code[size_t(index)] = uint8_t(value);
                t.length[size_t(index)] = uint8_t(g[0]);
            }
    }
    return t;
}

constexpr TPosTables kPos = makePosTables();

// The adaptive tree: nodes sorted by frequency; son[] of an inner node is
// its first child (the second is son + 1); son[] >= kTreeSize marks a leaf
// holding symbol son - kTreeSize.
class TAdaptiveTree
{
public:
    TAdaptiveTree()
    {
        for (int i = 0; i < kNumSymbols; ++i) {
            m_freq[i] = 1;
            m_son[i] = i + kTreeSize;
            m_parent[i + kTreeSize] = i;
        }
        for (int i = 0, j = kNumSymbols; j <= kRoot; i += 2, ++j) {
            m_freq[j] = m_freq[i] + m_freq[i + 1];
            m_son[j] = i;
            m_parent[i] = m_parent[i + 1] = j;
        }
        m_freq[kTreeSize] = 0xFFFF;   // guard above every real count
        m_parent[kRoot] = 0;
    }

    // The next symbol, or -1 when the input ran out.
    int decode(TBitReaderMsb &bits)
    {
        int c = m_son[kRoot];
        while (c < kTreeSize) {
            c = m_son[c + int(bits.Get(1))];
            if (bits.Overrun())
                return -1;
        }
        c -= kTreeSize;
        update(c);
        return c;
    }

private:
    // Counts symbol c and moves nodes that now outweigh their right
    // neighbours to keep the order.
    void update(int c)
    {
        if (m_freq[kRoot] == kMaxFreq)
            rebuild();
        c = m_parent[c + kTreeSize];
        do {
            const uint32_t k = ++m_freq[c];
            int l = c + 1;
            if (k > m_freq[l]) {
                while (k > m_freq[++l]) {
                }
                --l;
                m_freq[c] = m_freq[l];
                m_freq[l] = k;

                const int i = m_son[c];
                m_parent[i] = l;
                if (i < kTreeSize)
                    m_parent[i + 1] = l;
                const int j = m_son[l];
                m_son[l] = i;
                m_parent[j] = c;
                if (j < kTreeSize)
                    m_parent[j + 1] = c;
                m_son[c] = j;
                c = l;
            }
        } while ((c = m_parent[c]) != 0);
    }

    // Halves every leaf count and builds the inner nodes again.
    void rebuild()
    {
        int j = 0;
        for (int i = 0; i < kTreeSize; ++i)
            if (m_son[i] >= kTreeSize) {
                m_freq[j] = (m_freq[i] + 1) / 2;
                m_son[j] = m_son[i];
                ++j;
            }
        for (int i = 0, n = kNumSymbols; n < kTreeSize; i += 2, ++n) {
            const uint32_t f = m_freq[i] + m_freq[i + 1];
            int k = n - 1;
            while (f < m_freq[k])
                --k;
            ++k;
            std::copy_backward(m_freq.begin() + k, m_freq.begin() + n, m_freq.begin() + n + 1);
            std::copy_backward(m_son.begin() + k, m_son.begin() + n, m_son.begin() + n + 1);
            m_freq[k] = f;
            m_son[k] = i;
        }
        for (int i = 0; i < kTreeSize; ++i) {
            const int k = m_son[i];
            if (k >= kTreeSize)
                m_parent[k] = i;
            else
                m_parent[k] = m_parent[k + 1] = i;
        }
    }

    std::array<uint32_t, kTreeSize + 1> m_freq{};
    std::array<int, kTreeSize + kNumSymbols> m_parent{};
    std::array<int, kTreeSize> m_son{};
};

struct TLh1State
{
    TLh1State(DecodeInput &in, DecodeOutput &out, const DecodeParams &p)
        : src(in, p.packedSize), bits(src), output(out, p.unpackedSize)
    {
        window.fill(' ');
    }
    TByteSource src;
    TBitReaderMsb bits;
    TOutputBuffer output;
    TAdaptiveTree tree;
    std::array<uint8_t, kWindowSize> window;
};

} // namespace

// Returns Ok, Truncated (input used up first), OutputError.
DecodeStatus DecodeLh1(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    auto st = std::make_unique<TLh1State>(in, out, params);
    TBitReaderMsb &bits = st->bits;
    TOutputBuffer &output = st->output;
    uint8_t *const win = st->window.data();
    uint32_t pos = 0;
    while (!output.Done()) {
        const int c = st->tree.decode(bits);
        if (c < 0)
            return output.Finish(DecodeStatus::Truncated);
        if (c < 256) {
            win[pos] = uint8_t(c);
            pos = (pos + 1) & (kWindowSize - 1);
            output.Put(uint8_t(c));
            continue;
        }
        // Upper 6 bits by the first 8 bits' table, then the code's remaining bits.
        uint32_t first = bits.Get(8);
        const int extra = kPos.length[first] - 2;
        first = (first << extra) | bits.Get(extra);
        if (bits.Overrun())
            return output.Finish(DecodeStatus::Truncated);
        const uint32_t distance = ((uint32_t(kPos.code[first >> extra]) << 6) | (first & 0x3F)) + 1;
        uint32_t from = (pos - distance) & (kWindowSize - 1);
        for (int len = c - 256 + kThreshold + 1; len > 0 && !output.Done(); --len) {
            const uint8_t b = win[from];
            from = (from + 1) & (kWindowSize - 1);
            win[pos] = b;
            pos = (pos + 1) & (kWindowSize - 1);
            output.Put(b);
        }
    }
    return output.Finish(DecodeStatus::Ok);
}
