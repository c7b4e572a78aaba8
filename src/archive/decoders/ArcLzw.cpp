// The LZW decoders of ARC and ZOO.
//
// ARC 5 to 7 ("crunched", the first kind): fixed 12-bit codes, high bits
// first, two codes in three bytes. A code is a slot of a 4096-entry table;
// the 256 single bytes and each new string go into the slot a hash of
// (prefix code, last byte) picks, with collisions chained and then placed by
// a linear probe from 101 slots on. 3840 strings are added, then the table
// stays as it is.
// ARC 8 and 9 ("crunched" and "squashed"): dynamic LZW of 9 to 12 (8) or 13
// (9) bits, low bits first, read in groups of eight codes: when the code
// size grows or a clear code (256) comes, the rest of the group is skipped.
// Method 8's data begins with a byte giving the largest code size (12).
// ZOO 1: dynamic LZW of 9 to 13 bits, low bits first without groups; 256
// clears the table, 257 ends the data.
// Each string is spelled backwards on a stack no larger than the table, so
// a chain that loops (possible only in hostile data) ends in DataError.
#include "archive/decoders/ArcDecoders.h"

#include "archive/decoders/ArcRunLength.h"
#include "archive/decoders/BitReader.h"

#include <memory>

namespace {

// ---------------------------------------------------------------------------
// The first kind of crunching (methods 5 to 7)

constexpr int kOldTableSize = 4096;
constexpr uint16_t kNoPrefix = 0xFFFF;
constexpr int kOldStrings = kOldTableSize - 256; // strings added after the single bytes
constexpr int kProbeStep = 101;

struct TOldEntry {
    uint16_t prefix;
    uint16_t next; // the next slot of the collision chain; 0 ends it
    uint8_t last;
    bool used;
};

struct TOldState {
    TOldEntry table[kOldTableSize];
    uint8_t stack[kOldTableSize];
};

// The hashes work in 16-bit arithmetic, as the compressor did.
unsigned oldHash(unsigned prefix, unsigned last)
{
    uint32_t v = ((prefix + last) & 0xFFFF) | 0x0800;
    v *= v;
    return (v >> 6) & 0x0FFF;
}

unsigned newHash(unsigned prefix, unsigned last)
{
    return (((prefix + last) & 0xFFFF) * 15073u) & 0x0FFF;
}

// Adds the string (prefix, last) in the slot the hash gives, or the next free one after the
// end of that slot's collision chain. Never called with a full table (at most 4096 entries).
void addOld(TOldState &s, bool newer, unsigned prefix, uint8_t last)
{
    unsigned slot = newer ? newHash(prefix, last) : oldHash(prefix, last);
    if (s.table[slot].used) {
        int guard = 0;
        while (s.table[slot].next != 0 && guard++ < kOldTableSize)
            slot = s.table[slot].next;
        unsigned probe = (slot + kProbeStep) & 0x0FFF;
        while (s.table[probe].used)
            probe = (probe + 1) & 0x0FFF;
        s.table[slot].next = uint16_t(probe);
        slot = probe;
    }
    s.table[slot] = TOldEntry{uint16_t(prefix), 0, last, true};
}

template <typename Sink>
DecodeStatus crunchOld(TByteSource &src, Sink &sink, bool newer)
{
    auto s = std::make_unique<TOldState>();
    for (TOldEntry &e : s->table)
        e = TOldEntry{0, 0, 0, false};
    for (unsigned c = 0; c < 256; ++c)
        addOld(*s, newer, kNoPrefix, uint8_t(c));

    // Two codes in three bytes, high bits first.
    bool half = false;
    uint8_t spare = 0;
    auto nextCode = [&](int &code) {
        uint8_t a, b;
        if (!half) {
            if (!src.Next(a) || !src.Next(b))
                return false;
            code = (a << 4) | (b >> 4);
            spare = b & 0x0F;
        } else {
            if (!src.Next(a))
                return false;
            code = (spare << 8) | a;
        }
        half = !half;
        return true;
    };

    int oldCode = 0;
    if (!nextCode(oldCode))
        return DecodeStatus::Truncated;
    if (!s->table[oldCode].used || s->table[oldCode].prefix != kNoPrefix)
        return DecodeStatus::DataError;
    uint8_t finChar = s->table[oldCode].last;
    sink.Put(finChar);
    int added = 0;
    int code = 0;
    while (!sink.Done()) {
        if (!nextCode(code))
            return DecodeStatus::Truncated;
        const int inCode = code;
        int sp = 0;
        if (!s->table[code].used) {
            // The string about to be added: the previous one and its own first byte.
            s->stack[sp++] = finChar;
            code = oldCode;
        }
        while (s->table[code].prefix != kNoPrefix) {
            if (sp >= kOldTableSize - 1 || !s->table[code].used)
                return DecodeStatus::DataError;
            s->stack[sp++] = s->table[code].last;
            code = s->table[code].prefix & 0x0FFF;
        }
        finChar = s->table[code].last;
        s->stack[sp++] = finChar;
        while (sp > 0 && !sink.Done())
            sink.Put(s->stack[--sp]);
        if (added < kOldStrings) {
            addOld(*s, newer, unsigned(oldCode), finChar);
            ++added;
        }
        oldCode = inCode;
    }
    return DecodeStatus::Ok;
}

// ---------------------------------------------------------------------------
// Dynamic LZW (ARC 8 and 9, ZOO 1)

constexpr int kMaxLzwBits = 13;
constexpr int kLzwCodes = 1 << kMaxLzwBits;
constexpr int kClear = 256;

struct TLzwState {
    uint16_t prefix[kLzwCodes];
    uint8_t suffix[kLzwCodes];
    uint8_t stack[kLzwCodes];
};

// Codes of n bits, low bits first, read as the ARC compressor wrote them: in
// groups of n bytes (eight codes); startGroup() drops what is left of one.
class TGroupedCodes
{
public:
    explicit TGroupedCodes(TByteSource &src) : m_src(src) {}

    // The next code of bits bits; false when the input has no whole code left.
    bool Next(int bits, int &code)
    {
        if (m_offset >= m_size) {
            // A new group of bits bytes; a short last group holds as many whole codes as fit.
            int got = 0;
            while (got < bits && m_src.Next(m_buf[got]))
                ++got;
            if (got == 0)
                return false;
            m_offset = 0;
            m_size = got * 8 - (bits - 1);
            if (m_size <= 0)
                return false;
        }
        const int byte = m_offset >> 3;
        uint32_t v = uint32_t(m_buf[byte]) | uint32_t(m_buf[byte + 1]) << 8 | uint32_t(m_buf[byte + 2]) << 16;
        code = int((v >> (m_offset & 7)) & ((1u << bits) - 1));
        m_offset += bits;
        return true;
    }
    void startGroup() { m_offset = m_size = 0; }

private:
    TByteSource &m_src;
    uint8_t m_buf[kMaxLzwBits + 3] = {};
    int m_offset = 0;
    int m_size = 0;
};

// Spells code backwards into the end of s.stack; its length, or -1 on a loop.
int spell(TLzwState &s, int code)
{
    int n = 0;
    while (code >= 256) {
        if (n >= kLzwCodes - 1)
            return -1;
        s.stack[kLzwCodes - 1 - n++] = s.suffix[code];
        code = s.prefix[code];
    }
    s.stack[kLzwCodes - 1 - n++] = uint8_t(code);
    return n;
}

template <typename Sink>
DecodeStatus crunchDynamic(TByteSource &src, Sink &sink, int maxBits)
{
    auto s = std::make_unique<TLzwState>();
    for (int c = 0; c < 256; ++c) {
        s->prefix[c] = 0;
        s->suffix[c] = uint8_t(c);
    }
    const int maxMaxCode = 1 << maxBits;
    TGroupedCodes codes(src);
    int bits = 9;
    int maxCode = (1 << bits) - 1;
    int freeCode = 257;
    bool clearPending = false;
    auto nextCode = [&](int &code) {
        if (clearPending || freeCode > maxCode) {
            if (freeCode > maxCode && bits < maxBits) {
                ++bits;
                maxCode = bits == maxBits ? maxMaxCode : (1 << bits) - 1;
            }
            if (clearPending) {
                bits = 9;
                maxCode = (1 << bits) - 1;
                clearPending = false;
            }
            codes.startGroup();
        }
        return codes.Next(bits, code);
    };

    int oldCode = 0;
    if (!nextCode(oldCode))
        return DecodeStatus::Truncated;
    if (oldCode > 255)
        return DecodeStatus::DataError;
    uint8_t finChar = uint8_t(oldCode);
    sink.Put(finChar);
    int code = 0;
    while (!sink.Done()) {
        if (!nextCode(code))
            return DecodeStatus::Truncated;
        if (code == kClear) {
            clearPending = true;
            freeCode = 256; // the compressor's count: the next string goes over the clear code
            if (!nextCode(code))
                return DecodeStatus::Truncated;
        }
        const int inCode = code;
        int n = 0;
        if (code >= freeCode) {
            if (code > freeCode)
                return DecodeStatus::DataError;
            n = spell(*s, oldCode);
            if (n < 0 || n >= kLzwCodes - 1)
                return DecodeStatus::DataError;
            // oldCode's string followed by its own first byte, spelled in place.
            const uint8_t first = s->stack[kLzwCodes - n];
            for (int i = kLzwCodes - n; i < kLzwCodes; ++i)
                s->stack[i - 1] = s->stack[i];
            s->stack[kLzwCodes - 1] = first;
            ++n;
        } else {
            n = spell(*s, code);
            if (n < 0)
                return DecodeStatus::DataError;
        }
        finChar = s->stack[kLzwCodes - n];
        for (int i = kLzwCodes - n; i < kLzwCodes && !sink.Done(); ++i)
            sink.Put(s->stack[i]);
        if (freeCode < maxMaxCode) {
            s->prefix[freeCode] = uint16_t(oldCode);
            s->suffix[freeCode] = finChar;
            ++freeCode;
        }
        oldCode = inCode;
    }
    return DecodeStatus::Ok;
}

// The output of a decoder with or without the run-length stage behind it.
struct TDirectSink {
    TOutputBuffer &out;
    bool Done() const { return out.Done(); }
    void Put(uint8_t b) { out.Put(b); }
};

template <typename Body>
DecodeStatus withStages(DecodeInput &in, DecodeOutput &out, const DecodeParams &params, bool runLength, Body body)
{
    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    auto sink = std::make_unique<TOutputBuffer>(out, params.unpackedSize);
    if (sink->Done())
        return sink->Finish(DecodeStatus::Ok);
    DecodeStatus status;
    if (runLength) {
        TArcRunLength rle(*sink);
        status = body(*src, rle);
    } else {
        TDirectSink direct{*sink};
        status = body(*src, direct);
    }
    return sink->Finish(status);
}

} // namespace

// Returns Ok; DataError (a first code that is no single byte, a chain past the table);
// Truncated; OutputError.
DecodeStatus DecodeArcCrunchedOld(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    const bool newer = params.method == 7;
    return withStages(in, out, params, params.method != 5,
                      [newer](TByteSource &src, auto &sink) { return crunchOld(src, sink, newer); });
}

// Returns Ok; DataError (method 8's code size byte other than 12, a first code that is no
// single byte, a code past the next free one, a chain that loops); Truncated; OutputError.
DecodeStatus DecodeArcCrunched(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    const bool squashed = params.method == 9;
    return withStages(in, out, params, !squashed, [squashed](TByteSource &src, auto &sink) {
        if (squashed)
            return crunchDynamic(src, sink, 13);
        uint8_t maxBits;
        if (!src.Next(maxBits))
            return DecodeStatus::Truncated;
        if (maxBits != 12)
            return DecodeStatus::DataError;
        return crunchDynamic(src, sink, 12);
    });
}

// Returns Ok (once unpackedSize bytes are out: the end code after them is not read);
// DataError (a first code after a clear that is no single byte, a code past the next free
// one, the end code before unpackedSize bytes); Truncated; OutputError.
DecodeStatus DecodeZooLzw(DecodeInput &in, DecodeOutput &out, const DecodeParams &params)
{
    constexpr int kEnd = 257;
    constexpr int kFirstFree = 258;
    auto src = std::make_unique<TByteSource>(in, params.packedSize);
    auto sink = std::make_unique<TOutputBuffer>(out, params.unpackedSize);
    auto s = std::make_unique<TLzwState>();
    for (int c = 0; c < 256; ++c) {
        s->prefix[c] = 0;
        s->suffix[c] = uint8_t(c);
    }
    TBitReaderLsb bits(*src);
    int width = 9;
    int maxCode = 1 << width;
    int freeCode = kFirstFree;
    int oldCode = -1;
    uint8_t finChar = 0;
    while (!sink->Done()) {
        uint32_t raw;
        if (!bits.Get(width, raw))
            return sink->Finish(DecodeStatus::Truncated);
        int code = int(raw);
        if (code == kEnd)
            return sink->Finish(DecodeStatus::DataError);
        if (code == kClear) {
            width = 9;
            maxCode = 1 << width;
            freeCode = kFirstFree;
            oldCode = -1;
            continue;
        }
        if (oldCode < 0) {
            // The first code of the data or after a clear starts the strings: a single byte.
            if (code > 255)
                return sink->Finish(DecodeStatus::DataError);
            finChar = uint8_t(code);
            oldCode = code;
            sink->Put(finChar);
            continue;
        }
        const int inCode = code;
        int n = 0;
        if (code >= freeCode) {
            if (code != freeCode)
                return sink->Finish(DecodeStatus::DataError);
            n = spell(*s, oldCode);
            if (n < 0 || n >= kLzwCodes - 1)
                return sink->Finish(DecodeStatus::DataError);
            const uint8_t first = s->stack[kLzwCodes - n];
            for (int i = kLzwCodes - n; i < kLzwCodes; ++i)
                s->stack[i - 1] = s->stack[i];
            s->stack[kLzwCodes - 1] = first;
            ++n;
        } else {
            n = spell(*s, code);
            if (n < 0)
                return sink->Finish(DecodeStatus::DataError);
        }
        finChar = s->stack[kLzwCodes - n];
        sink->PutBlock(s->stack + kLzwCodes - n, uint64_t(n));
        if (freeCode < kLzwCodes) {
            s->prefix[freeCode] = uint16_t(oldCode);
            s->suffix[freeCode] = finChar;
            ++freeCode;
            if (freeCode >= maxCode && width < kMaxLzwBits) {
                ++width;
                maxCode <<= 1;
            }
        }
        oldCode = inCode;
    }
    return sink->Finish(DecodeStatus::Ok);
}
