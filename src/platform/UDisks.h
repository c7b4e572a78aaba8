// Ejecting through UDisks2, the desktop's own disk service, over the system
// D-Bus. A block device is found by its device node ("/dev/sdb1"); its
// drive is the one the Block interface names. Every call waits at most a
// minute (a polkit question may be on screen) and fails on any error reply.
#pragma once

#include <QString>

// Whether the UDisks2 service runs (or can be started) on the system bus;
// false when there is no system bus at all.
bool UDisksRunning();
// Filesystem.Unmount of the file system on the block device.
bool UDisksUnmount(const QString &device);
// Drive.Eject of the drive holding the block device (optical discs,
// cartridges, card readers).
bool UDisksEject(const QString &device);
// Drive.PowerOff of the drive holding the block device (a USB disk as a
// whole, after its file systems are unmounted).
bool UDisksPowerOff(const QString &device);
