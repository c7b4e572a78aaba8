// One running program per user: a second start hands the catalog files of
// its command line to the first through a hand-over file in the temporary
// folder ("Quillon_Params" + number + ".tmp", one file name per line) and a
// local socket that carries the number, then ends.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    // serverName: the local socket's name; the default is per user.
    explicit TSingleInstance(const QString &serverName = DefaultServerName(), QObject *parent = nullptr);
    ~TSingleInstance() override;

    static QString DefaultServerName();
    // The hand-over file of a number (1 to 9999) in the temporary folder.
    static QString HandOverFileName(int number);
    // Writes files into a new hand-over file under a free number; -1 when
    // none could be created.
    static int WriteHandOverFile(const QStringList &files);
    // Reads a hand-over file (only one of this user's, at most 1 MiB) and
    // deletes it; empty when it cannot be read.
    static QStringList ReadHandOverFile(int number);

    // When a first instance answers: hands files over (or just asks it to
    // come to the front) and returns true; this process then ends.
    bool handOver(const QStringList &files, int timeoutMs = 2000);
    // Becomes the first instance; false when the socket cannot be set up.
    bool listen();

signals:
    // A second instance handed over catalog files.
    void filesHandedOver(const QStringList &files);
    // A second instance was started: the window comes to the front.
    void activationRequested();

private:
    void onConnection();

    QString m_name;
    QLocalServer *m_server = nullptr;
};
