// Which media type codes belong together, and the media type of a removable
// drive from what the kernel tells about it.
#include "platform/MediaTypes.h"

#include <QByteArray>

bool IsFloppy525Or8(uint8_t code)
{
    return code == kMediaFloppy525DD || code == kMediaFloppy525HD || code == kMediaFloppy8SD
           || code == kMediaFloppy8DD;
}

bool IsFloppy35(uint8_t code)
{
    return code == kMediaFloppy35DD || code == kMediaFloppy35HD || code == kMediaFloppy35EHD;
}

bool IsFloppy(uint8_t code)
{
    return IsFloppy525Or8(code) || IsFloppy35(code);
}

bool IsCartridge(uint8_t code)
{
    return code == kMediaZip100 || code == kMediaJaz1GB;
}

bool IsFixedMedium(uint8_t code)
{
    return code == kMediaHardDisk || code == kMediaNetwork || code == kMediaRamDisk || code > kMediaJaz1GB;
}

bool MediaTypesCompatible(uint8_t a, uint8_t b)
{
    if (a == b)
        return true;
    return (a == kMediaRemovable && IsCartridge(b)) || (b == kMediaRemovable && IsCartridge(a));
}

bool MediaTypesFit(uint8_t disk, uint8_t drive)
{
    return MediaTypesCompatible(disk, drive) || (IsFloppy525Or8(disk) && IsFloppy525Or8(drive))
           || (IsFloppy35(disk) && IsFloppy35(drive));
}

uint8_t FloppyMediaType(int64_t sectors)
{
    switch (sectors) {
    case 320:    // 160 KiB
    case 360:    // 180 KiB
    case 640:    // 320 KiB
    case 720:    // 360 KiB
        return kMediaFloppy525DD;
    case 2400:   // 1.2 MiB
        return kMediaFloppy525HD;
    case 1440:   // 720 KiB, taken as the common 3.5-inch double density
        return kMediaFloppy35DD;
    case 2880:   // 1.44 MiB
        return kMediaFloppy35HD;
    case 5760:   // 2.88 MiB
        return kMediaFloppy35EHD;
    default:
        return kMediaUnknown;
    }
}

uint8_t RemovableMediaType(QByteArrayView model)
{
    const QByteArray name = model.toByteArray().trimmed().toUpper();
    if (name.startsWith("ZIP 100"))
        return kMediaZip100;
    if (name.startsWith("JAZ 1GB"))
        return kMediaJaz1GB;
    return kMediaRemovable;
}
