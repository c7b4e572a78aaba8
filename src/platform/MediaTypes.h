// Media type codes: the kind of medium a drive takes, as a disk record keeps
// it (0-15), and which codes stand for media that fit the same drive.
#pragma once

#include <cstdint>

// MediaType codes 0-15; 255 = not known.
inline constexpr uint8_t kMediaUnknown = 255;

// a = b, or one is 13 (generic removable) and the other 14 or 15.
bool MediaTypesCompatible(uint8_t a, uint8_t b);
