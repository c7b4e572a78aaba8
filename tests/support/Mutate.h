// Seeded mutations of a fuzz seed, as a fuzzer's first steps would make them:
// the replay tests run the fuzz entries' properties over these where no
// fuzzer is at hand.
#pragma once

#include <QByteArray>

#include <random>

// One to four flips, cuts, duplications or saturated bytes of seed.
inline QByteArray MutateSeed(const QByteArray &seed, std::mt19937 &rng)
{
    QByteArray b = seed;
    const int steps = 1 + int(rng() % 4);
    for (int i = 0; i < steps && !b.isEmpty(); ++i) {
        const qsizetype at = qsizetype(rng() % uint32_t(b.size()));
        switch (rng() % 4) {
        case 0:
            b[at] = char(uint8_t(b[at]) ^ uint8_t(1 + rng() % 255));
            break;
        case 1:
            b.truncate(at);
            break;
        case 2:
            b.insert(at, b.mid(at, qsizetype(rng() % 16)));
            break;
        default:
            b[at] = char(rng() % 2 ? 0xFF : 0x00);
            break;
        }
    }
    return b;
}
