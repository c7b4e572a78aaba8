// Ejecting a medium: the ways it leaves its drive, in the order they are
// tried, each replaceable so that tests see the attempts without a bus or a
// device. TDrives::ejectRefusal and TDrives::EjectMedia use them.
#pragma once

#include <QString>

#include <functional>
#include <optional>

// The ways a medium leaves its drive, tried in this order: UDisks2 over
// D-Bus when it runs (unmount, then eject or power off the drive), then the
// eject program, then umount(2) and the CD-ROM eject call. Each may be
// replaced, so that tests see the order of attempts without a bus or a
// device; an empty member is a way that is not there.
struct TEjectCalls {
    std::function<bool()> udisksRunning;
    std::function<bool(const QString &device)> udisksUnmount;    // Filesystem.Unmount of "/dev/sdb1"
    std::function<bool(const QString &device)> udisksEject;      // Drive.Eject of the drive holding it
    std::function<bool(const QString &device)> udisksPowerOff;   // Drive.PowerOff of the drive holding it
    // The eject program on the device: its success, nothing when it is not installed.
    std::function<std::optional<bool>(const QString &device)> ejectProgram;
    std::function<bool(const QString &mountPoint)> unmount;      // umount(2)
    std::function<bool(const QString &device)> ejectIoctl;       // CDROMEJECT on the whole-disk device
};

// The machine's own ways: UDisks2, the eject program (when mayRun allows it),
// umount(2) and the CD-ROM eject call.
TEjectCalls SystemEjectCalls(const std::function<bool(const QString &program)> &mayRun);
