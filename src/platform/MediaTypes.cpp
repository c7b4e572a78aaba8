// Which media type codes fit the same drive.
#include "platform/MediaTypes.h"

bool MediaTypesCompatible(uint8_t a, uint8_t b)
{
    if (a == b)
        return true;
    auto cartridge = [](uint8_t c) { return c == 14 || c == 15; };
    return (a == 13 && cartridge(b)) || (b == 13 && cartridge(a));
}
