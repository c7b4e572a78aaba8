// The single-instance hand-over over a local socket.
#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRandomGenerator>

#include <unistd.h>

namespace {

// Hand-over numbers run from 1 to 9999.
constexpr int kMaxHandOverNumber = 9999;
// A hand-over file holds file names only; anything larger is not one.
constexpr qint64 kMaxHandOverBytes = 1024 * 1024;
// A request line: "open <number>" or "show".
constexpr qint64 kMaxRequestBytes = 64;

} // namespace

TSingleInstance::TSingleInstance(const QString &serverName, QObject *parent) : QObject(parent), m_name(serverName) {}

TSingleInstance::~TSingleInstance() = default;

QString TSingleInstance::DefaultServerName()
{
    return QStringLiteral("Quillon-") + QString::number(::getuid());
}

QString TSingleInstance::HandOverFileName(int number)
{
    return QDir(QDir::tempPath()).filePath(QStringLiteral("Quillon_Params") + QString::number(number) +
                                           QStringLiteral(".tmp"));
}

int TSingleInstance::WriteHandOverFile(const QStringList &files)
{
    // A random free number; the file is created new, never one that exists.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int n = QRandomGenerator::global()->bounded(1, kMaxHandOverNumber + 1);
        QFile f(HandOverFileName(n));
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            continue;
        QByteArray text;
        for (const QString &file : files)
            text += QFile::encodeName(file) + '\n';
        if (f.write(text) != text.size()) {
            f.remove();
            return -1;
        }
        f.close();
        return n;
    }
    return -1;
}

QStringList TSingleInstance::ReadHandOverFile(int number)
{
    if (number < 1 || number > kMaxHandOverNumber)
        return {};
    const QString name = HandOverFileName(number);
    const QFileInfo info(name);
    // Another user's file in the shared folder is not ours to read.
    if (!info.isFile() || info.ownerId() != ::getuid() || info.size() > kMaxHandOverBytes)
        return {};
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = f.read(kMaxHandOverBytes);
    f.close();
    f.remove();
    QStringList files;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            files << QFile::decodeName(line);
    }
    return files;
}

bool TSingleInstance::handOver(const QStringList &files, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray request = "show\n";
    if (!files.isEmpty()) {
        const int n = WriteHandOverFile(files);
        if (n > 0)
            request = "open " + QByteArray::number(n) + "\n";
    }
    socket.write(request);
    socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return true;
}

bool TSingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &TSingleInstance::onConnection);
    if (m_server->listen(m_name))
        return true;
    // A socket left behind by a program that ended without closing it.
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name);
}

void TSingleInstance::onConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // The request may be here already, or still on its way.
        auto handle = [this, socket] {
            if (socket->property("handled").toBool())
                return;
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequestBytes)
                    socket->abort();
                return;
            }
            socket->setProperty("handled", true);
            const QByteArray line = socket->readLine(kMaxRequestBytes).trimmed();
            socket->disconnectFromServer();
            if (line.startsWith("open ")) {
                bool ok = false;
                const int n = line.mid(5).toInt(&ok);
                const QStringList files = ok ? ReadHandOverFile(n) : QStringList();
                emit activationRequested();
                if (!files.isEmpty())
                    emit filesHandedOver(files);
            } else if (line == "show") {
                emit activationRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, handle);
        handle();
    }
}
