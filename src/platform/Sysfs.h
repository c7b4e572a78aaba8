// The small facts of sysfs and of the kernel's device names that the drive
// layer reads: a sysfs attribute file, a numbered device name ("sr0"),
// whether a disk hangs off a USB controller.
#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

// The first bytes of a sysfs or udev file (they hold a few bytes; anything
// longer is not theirs); empty when it cannot be read.
QByteArray ReadSmallFile(const QString &path);
// "fd0", "sr12": the name is prefix followed by digits only.
bool IsNumberedDevice(const QString &name, QLatin1StringView prefix);
// Whether the sysfs folder of a disk lies below a USB controller ("usbN")
// of the device tree: a USB disk, whatever its "removable" file says.
bool HangsOffUsb(const QString &diskDir);
