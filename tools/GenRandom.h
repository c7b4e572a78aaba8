// The random stream of the generators: splitmix64, tiny, fast, and with its
// output fixed by its definition, so generated catalogs and trees are the
// same on every machine for a seed.
#pragma once

#include <cstdint>

class TGenRandom
{
public:
    explicit TGenRandom(uint64_t seed) : m_state(seed) {}

    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n); 0 for n = 0. The multiply-shift map has a bias of
    // at most n / 2^64, which no test can see.
    uint64_t below(uint64_t n) { return n ? uint64_t((unsigned __int128)next() * n >> 64) : 0; }
    // Uniform in [lo, hi].
    int64_t between(int64_t lo, int64_t hi) { return hi <= lo ? lo : lo + int64_t(below(uint64_t(hi - lo) + 1)); }
    // True in about one case of n.
    bool oneIn(uint64_t n) { return below(n) == 0; }
    bool percent(int p) { return int(below(100)) < p; }

private:
    uint64_t m_state;
};
