// Reading sysfs attribute files and kernel device names.
#include "platform/Sysfs.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Sysfs and udev files we read are a few bytes; anything longer is not theirs.
constexpr qint64 kMaxSmallFile = 4096;

} // namespace

QByteArray ReadSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kMaxSmallFile);
}

bool IsNumberedDevice(const QString &name, QLatin1StringView prefix)
{
    if (!name.startsWith(prefix) || name.size() == prefix.size())
        return false;
    for (qsizetype i = prefix.size(); i < name.size(); ++i)
        if (!name[i].isDigit())
            return false;
    return true;
}

bool HangsOffUsb(const QString &diskDir)
{
    static const QRegularExpression usbPart(QStringLiteral("/usb\\d+(/|$)"));
    return usbPart.match(QFileInfo(diskDir).canonicalFilePath()).hasMatch();
}
