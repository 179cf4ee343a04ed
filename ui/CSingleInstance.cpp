#include "CSingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

CSingleInstance::CSingleInstance(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
}

QString CSingleInstance::ServerName()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    return folder + u"/MainWindowCalvoria-"_s + QString::number(::getuid());
}

bool CSingleInstance::BecomePrimary()
{
    const QString name = ServerName();
    // Two copies started together must not both find no server and both listen.
    QLockFile lock(name + u".lock"_s);
    lock.tryLock(5000);

    QLocalSocket socket;
    socket.connectToServer(name);
    if (socket.waitForConnected(1000)) {
        socket.write(QByteArray::number(ShowMainWindow) + '\n');
        socket.waitForBytesWritten(1000);
        socket.disconnectFromServer();
        return false;
    }
    // Nobody answers: whatever socket file is there was left by a copy that crashed.
    QLocalServer::removeServer(name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(name);
    return true;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                bool ok = false;
                const int command = socket->readLine().trimmed().toInt(&ok);
                if (ok)
                    Q_EMIT commandReceived(command);
            }
        });
    }
}
