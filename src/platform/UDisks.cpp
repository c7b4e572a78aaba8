// UDisks2 calls over the system bus. Method names and object layout are
// those of the org.freedesktop.UDisks2 interfaces: the Manager resolves a
// device node to its block object, the block's "Drive" property names the
// drive object, and Filesystem.Unmount, Drive.Eject and Drive.PowerOff each
// take an options dictionary (left empty: the service's defaults, with
// interactive authorisation allowed).
#include "platform/UDisks.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");

// A minute: unmounting flushes the medium's caches, and the user may be
// answering an authorisation question meanwhile.
constexpr int kCallMillis = 60000;
// Look-ups answer at once or never.
constexpr int kQueryMillis = 5000;

QDBusMessage call(QDBusMessage message, int timeout)
{
    message.setInteractiveAuthorizationAllowed(true);
    return QDBusConnection::systemBus().call(message, QDBus::Block, timeout);
}

bool succeeded(const QDBusMessage &reply)
{
    return reply.type() == QDBusMessage::ReplyMessage;
}

// The block object of a device node: the Manager's ResolveDevice, or, from
// services older than that call, the kernel name in the object-path form
// (every byte outside [A-Za-z0-9] written as "_" and two hex digits).
QString blockObject(const QString &device)
{
    QDBusMessage resolve = QDBusMessage::createMethodCall(kService, kRoot + QStringLiteral("/Manager"),
                                                          kService + QStringLiteral(".Manager"),
                                                          QStringLiteral("ResolveDevice"));
    resolve << QVariantMap{{QStringLiteral("path"), device}} << QVariantMap();
    const QDBusReply<QList<QDBusObjectPath>> found = call(resolve, kQueryMillis);
    if (found.isValid() && !found.value().isEmpty())
        return found.value().first().path();
    if (found.error().type() != QDBusError::UnknownMethod)
        return {};
    const QByteArray name = device.mid(device.lastIndexOf(QLatin1Char('/')) + 1).toUtf8();
    if (name.isEmpty())
        return {};
    QString path = kRoot + QStringLiteral("/block_devices/");
    for (const char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            path += QLatin1Char(c);
        else
            path += QStringLiteral("_%1").arg(uint8_t(c), 2, 16, QLatin1Char('0'));
    }
    return path;
}

// The drive object holding a device node; empty when it has none (a loop
// device, a mapped device) or the service does not know the device.
QString driveObject(const QString &device)
{
    const QString block = blockObject(device);
    if (block.isEmpty())
        return {};
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, block, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kService + QStringLiteral(".Block") << QStringLiteral("Drive");
    const QDBusReply<QDBusVariant> reply = call(get, kQueryMillis);
    if (!reply.isValid())
        return {};
    const QString drive = reply.value().variant().value<QDBusObjectPath>().path();
    return drive == QLatin1StringView("/") ? QString() : drive;
}

bool driveCall(const QString &device, const QString &method)
{
    const QString drive = driveObject(device);
    if (drive.isEmpty())
        return false;
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, drive, kService + QStringLiteral(".Drive"), method);
    message << QVariantMap();
    return succeeded(call(message, kCallMillis));
}

} // namespace

bool UDisksRunning()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(kService);
    if (registered.isValid() && registered.value())
        return true;
    // Not running yet, but the bus starts it on the first call.
    const QDBusMessage list = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames"));
    const QDBusReply<QStringList> names = bus.call(list, QDBus::Block, kQueryMillis);
    return names.isValid() && names.value().contains(kService);
}

bool UDisksUnmount(const QString &device)
{
    const QString block = blockObject(device);
    if (block.isEmpty())
        return false;
    QDBusMessage message = QDBusMessage::createMethodCall(kService, block, kService + QStringLiteral(".Filesystem"),
                                                          QStringLiteral("Unmount"));
    message << QVariantMap();
    return succeeded(call(message, kCallMillis));
}

bool UDisksEject(const QString &device)
{
    return driveCall(device, QStringLiteral("Eject"));
}

bool UDisksPowerOff(const QString &device)
{
    return driveCall(device, QStringLiteral("PowerOff"));
}
