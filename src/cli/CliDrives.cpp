// quillon-cli drives: one line per drive letter, read through the same drive
// layer the scan uses, so a script sees what the program would catalogue.
#include "cli/CliCommands.h"

#include "catalog/DiskMedium.h"
#include "catalog/ItemFormat.h"
#include "platform/Drives.h"
#include "platform/Texts.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace cli {

namespace {

QString driveTypeName(TDriveType type)
{
    switch (type) {
    case TDriveType::Removable:
        return QStringLiteral("removable");
    case TDriveType::Fixed:
        return QStringLiteral("fixed");
    case TDriveType::Remote:
        return QStringLiteral("remote");
    case TDriveType::CdRom:
        return QStringLiteral("cdrom");
    case TDriveType::RamDisk:
        return QStringLiteral("ramdisk");
    case TDriveType::NoRoot:
        break;
    }
    return QStringLiteral("none");
}

// drives [--json]. The drive layer reports nothing it could not read:
// unreadable drives show as not ready.
int runDrives(const Call &call)
{
    Output &out = call.out();
    const bool json = call.isSet(QStringLiteral("json"));
    TDrives drives;
    for (const TDrive &drive : drives.drives()) {
        const uint8_t media = drives.DriveMediaType(drive.letter);
        const bool ready = drives.IsDriveReady(drive.letter, false);
        TVolumeInfo info;
        if (ready) {
            info = drives.volumeInfo(drive.letter);
            drives.ReadDiskSpace(info, false);
        }
        const qint64 capacity = WholeBytes(info.totalBytes);
        const qint64 free = WholeBytes(info.freeBytes);
        if (json) {
            QJsonObject object;
            object.insert(QStringLiteral("letter"), QString(drive.letter));
            object.insert(QStringLiteral("type"), driveTypeName(drive.type));
            object.insert(QStringLiteral("media"), int(media));
            object.insert(QStringLiteral("media_text"), MediaTypeName(media, 0));
            object.insert(QStringLiteral("ready"), ready);
            auto readyValue = [&](const QJsonValue &value) { return ready ? value : QJsonValue(QJsonValue::Null); };
            object.insert(QStringLiteral("label"), readyValue(DecodeStored(info.label)));
            object.insert(QStringLiteral("serial"), readyValue(SerialText(info.serial)));
            object.insert(QStringLiteral("filesystem"), readyValue(DecodeStored(info.fileSystem)));
            object.insert(QStringLiteral("capacity"), readyValue(capacity));
            object.insert(QStringLiteral("free"), readyValue(free));
            object.insert(QStringLiteral("mount_point"), drive.mountPoint.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                                                    : QJsonValue(drive.mountPoint));
            object.insert(QStringLiteral("device"), drive.device);
            out.json(object);
            continue;
        }
        // Tab-separated, so that labels and paths with spaces stay one field.
        QStringList fields{QString(drive.letter) + QLatin1Char(':'), QString::number(media), MediaTypeName(media, 0),
                           ready ? QStringLiteral("ready") : QStringLiteral("not-ready")};
        if (ready)
            fields << DecodeStored(info.label) << SerialText(info.serial) << DecodeStored(info.fileSystem)
                   << QString::number(capacity) << QString::number(free);
        else
            fields << QString() << QString() << QString() << QString() << QString();
        fields << drive.mountPoint << drive.device;
        out.line(fields.join(QLatin1Char('\t')));
    }
    std::fflush(out.file());
    return CliOk;
}

} // namespace

const Command &DrivesCommand()
{
    static const Command command{
        {QStringLiteral("drives")},
        QStringLiteral("The drive letters of this machine: media type, readiness, label, serial, file system, "
                       "capacity, free space, mount point and device."),
        {JsonOption()},
        {},
        runDrives,
    };
    return command;
}

} // namespace cli
