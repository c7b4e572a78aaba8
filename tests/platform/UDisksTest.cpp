// Tests of the UDisks2 calls against a stand-in service on a private
// message bus (dbus-daemon), which this process takes for the system bus:
// the objects each call reaches, in order, and what a refusal or an
// unknown device gives. Skipped where dbus-daemon is not installed.
#include "platform/UDisks.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QThread>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");

// Answers the calls the program makes as UDisks2 would, and writes each
// down as "path interface.member".
class FakeUDisks : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString member = message.interface() + QLatin1Char('.') + message.member();
        QMutexLocker lock(&m_mutex);
        m_calls.append(message.path() + QLatin1Char(' ') + member);
        if (m_refused.contains(message.member())) {
            connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"),
                                                     QStringLiteral("refused")));
            return true;
        }
        if (message.member() == QLatin1StringView("ResolveDevice")) {
            if (m_old) {
                connection.send(message.createErrorReply(QDBusError::UnknownMethod, QStringLiteral("no such method")));
                return true;
            }
            const QVariantMap spec = qdbus_cast<QVariantMap>(message.arguments().value(0));
            const QString device = spec.value(QStringLiteral("path")).toString();
            QList<QDBusObjectPath> found;
            if (device.startsWith(QLatin1StringView("/dev/sd")))
                found.append(QDBusObjectPath(kRoot + QStringLiteral("/block_devices/") + device.mid(5)));
            connection.send(message.createReply(QVariant::fromValue(found)));
            return true;
        }
        if (member == QLatin1StringView("org.freedesktop.DBus.Properties.Get")) {
            // sr0 is a drive of its own; a loop device belongs to none ("/").
            const QString drive = message.path().endsWith(QLatin1StringView("loop0"))
                                      ? QStringLiteral("/")
                                      : kRoot + QStringLiteral("/drives/Stick");
            connection.send(
                message.createReply(QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusObjectPath(drive))))));
            return true;
        }
        connection.send(message.createReply());
        return true;
    }

    QStringList takeCalls()
    {
        QMutexLocker lock(&m_mutex);
        return std::exchange(m_calls, {});
    }
    void refuse(const QSet<QString> &members)
    {
        QMutexLocker lock(&m_mutex);
        m_refused = members;
    }
    void beOld(bool old)
    {
        QMutexLocker lock(&m_mutex);
        m_old = old;
    }

private:
    QMutex m_mutex;
    QStringList m_calls;
    QSet<QString> m_refused;
    bool m_old = false;
};

// A private bus with the stand-in service on it, taken for the system bus.
class UDisksBus : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        s_daemon = new QProcess;
        s_daemon->start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address")});
        if (!s_daemon->waitForStarted() || !s_daemon->waitForReadyRead(10000))
            return;
        const QByteArray address = s_daemon->readLine().trimmed();
        if (address.isEmpty())
            return;
        // Read by the first use of the system bus in this process, which is ours.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address);
        QDBusConnection service = QDBusConnection::connectToBus(QString::fromUtf8(address), QStringLiteral("fake"));
        if (!service.isConnected())
            return;
        // The service answers in a thread of its own: the calls under test block this one.
        s_fake = new FakeUDisks;
        if (!service.registerVirtualObject(kRoot, s_fake, QDBusConnection::SubPath)
            || !service.registerService(kService))
            return;
        s_thread = new QThread;
        s_fake->moveToThread(s_thread);
        s_thread->start();
        s_ready = true;
    }
    static void TearDownTestSuite()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
        if (s_thread) {
            s_thread->quit();
            s_thread->wait();
        }
        delete s_fake;
        delete s_thread;
        if (s_daemon) {
            s_daemon->kill();
            s_daemon->waitForFinished();
        }
        delete s_daemon;
    }
    void SetUp() override
    {
        if (!s_ready)
            GTEST_SKIP() << "dbus-daemon is needed for a private bus";
        s_fake->refuse({});
        s_fake->beOld(false);
        s_fake->takeCalls();
    }

    static inline QProcess *s_daemon = nullptr;
    static inline QThread *s_thread = nullptr;
    static inline FakeUDisks *s_fake = nullptr;
    static inline bool s_ready = false;
};

QString call(const QString &path, const char *member)
{
    return path + QLatin1Char(' ') + QLatin1StringView(member);
}

const QString kBlock = kRoot + QStringLiteral("/block_devices/sdb1");
const QString kDrive = kRoot + QStringLiteral("/drives/Stick");
const QString kManager = kRoot + QStringLiteral("/Manager");

TEST_F(UDisksBus, EachCallReachesItsObject)
{
    EXPECT_TRUE(UDisksRunning());

    EXPECT_TRUE(UDisksUnmount(QStringLiteral("/dev/sdb1")));
    EXPECT_EQ(s_fake->takeCalls(), (QStringList{call(kManager, "org.freedesktop.UDisks2.Manager.ResolveDevice"),
                                                call(kBlock, "org.freedesktop.UDisks2.Filesystem.Unmount")}));

    const QStringList toDrive{call(kManager, "org.freedesktop.UDisks2.Manager.ResolveDevice"),
                              call(kBlock, "org.freedesktop.DBus.Properties.Get")};
    EXPECT_TRUE(UDisksEject(QStringLiteral("/dev/sdb1")));
    EXPECT_EQ(s_fake->takeCalls(), toDrive + QStringList{call(kDrive, "org.freedesktop.UDisks2.Drive.Eject")});
    EXPECT_TRUE(UDisksPowerOff(QStringLiteral("/dev/sdb1")));
    EXPECT_EQ(s_fake->takeCalls(), toDrive + QStringList{call(kDrive, "org.freedesktop.UDisks2.Drive.PowerOff")});
}

TEST_F(UDisksBus, RefusalsAndUnknownDevicesFail)
{
    s_fake->refuse({QStringLiteral("Unmount"), QStringLiteral("PowerOff")});
    EXPECT_FALSE(UDisksUnmount(QStringLiteral("/dev/sdb1")));
    EXPECT_FALSE(UDisksPowerOff(QStringLiteral("/dev/sdb1")));
    EXPECT_TRUE(UDisksEject(QStringLiteral("/dev/sdb1")));
    s_fake->takeCalls();

    // A device the service does not know is never unmounted.
    EXPECT_FALSE(UDisksUnmount(QStringLiteral("/dev/nothing")));
    EXPECT_EQ(s_fake->takeCalls(), QStringList{call(kManager, "org.freedesktop.UDisks2.Manager.ResolveDevice")});
}

TEST_F(UDisksBus, AServiceWithoutResolveDeviceIsAddressedByKernelName)
{
    s_fake->beOld(true);
    EXPECT_TRUE(UDisksUnmount(QStringLiteral("/dev/dm-0")));
    EXPECT_EQ(s_fake->takeCalls(),
              (QStringList{call(kManager, "org.freedesktop.UDisks2.Manager.ResolveDevice"),
                           call(kRoot + QStringLiteral("/block_devices/dm_2d0"),
                                "org.freedesktop.UDisks2.Filesystem.Unmount")}));
    // A block device that belongs to no drive is not ejected.
    EXPECT_FALSE(UDisksEject(QStringLiteral("/dev/loop0")));
    EXPECT_EQ(s_fake->takeCalls(),
              (QStringList{call(kManager, "org.freedesktop.UDisks2.Manager.ResolveDevice"),
                           call(kRoot + QStringLiteral("/block_devices/loop0"), "org.freedesktop.DBus.Properties.Get")}));
}

} // namespace

// The bus needs an application object for its event handling.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
