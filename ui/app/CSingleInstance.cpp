#include "CSingleInstance.h"

#include "LaunchRequest.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QtDebug>
#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A real folder (not a link) of ours that nobody else may write into. With exactMode the
// folder must be 0700, as every folder we make for ourselves is.
bool IsPrivateFolder(const QString& path, bool exactMode)
{
    struct stat st{};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    return exactMode ? (st.st_mode & 07777) == S_IRWXU : (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The folder for the socket and its lock: the user's runtime folder, or one of our own in
// the shared temporary folder. Another user may have taken our name there first; we then
// try the next name, the same series in every copy so that they still meet.
QString SocketFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && IsPrivateFolder(runtime, false))
        return runtime;
    const QString base = QDir::tempPath() + u"/calvoria-"_s + QString::number(::getuid());
    for (int i = 0; i < 10; ++i) {
        const QString folder = i == 0 ? base : base + u'-' + QString::number(i);
        if (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) != 0 && errno != EEXIST)
            continue;
        if (IsPrivateFolder(folder, true))
            return folder;
    }
    return {};
}

// Only a socket that this user made is a running copy; anything else at the name is not
// to be talked to.
bool IsOurSocket(const QString& path)
{
    struct stat st{};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_uid == ::getuid();
}

} // namespace

CSingleInstance::CSingleInstance(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
}

QString CSingleInstance::ServerName()
{
    const QString folder = SocketFolder();
    if (folder.isEmpty())
        return {};
    return folder + u"/MainWindowCalvoria-"_s + QString::number(::getuid());
}

namespace {

constexpr char kFeedPrefix[] = "feed ";
// A line longer than this is no message of ours: it is dropped whole, up to its newline.
constexpr qsizetype kMaxMessageBytes = 64 * 1024;

// Splits what a connection sends into lines, never holding more than one message's worth.
class CMessageLines
{
public:
    // Appends bytes and returns the whole lines now complete, without their newlines.
    QList<QByteArray> Take(const QByteArray& bytes)
    {
        m_buffer += bytes;
        QList<QByteArray> lines;
        qsizetype from = 0;
        for (qsizetype end; (end = m_buffer.indexOf('\n', from)) >= 0; from = end + 1) {
            if (!m_skipping && end - from <= kMaxMessageBytes)
                lines << m_buffer.mid(from, end - from);
            m_skipping = false;
        }
        m_buffer.remove(0, from);
        if (m_buffer.size() > kMaxMessageBytes) {
            m_skipping = true; // the rest of this line goes as it comes
            m_buffer.clear();
        }
        return lines;
    }

private:
    QByteArray m_buffer;
    bool m_skipping = false;
};

} // namespace

QByteArray CSingleInstance::CommandMessage(int command)
{
    return QByteArray::number(command) + '\n';
}

QByteArray CSingleInstance::FeedMessage(const QString& address)
{
    // An address holds no line break: HandedFeedAddress keeps only its first word.
    return kFeedPrefix + address.toUtf8() + '\n';
}

bool CSingleInstance::BecomePrimary(const QList<QByteArray>& messages)
{
    const QString name = ServerName();
    if (name.isEmpty()) {
        // Better two copies than none: run without looking for another one.
        qWarning("Calvoria: no private folder for the instance socket, not checking for a "
                 "running copy");
        return true;
    }
    // Two copies started together must not both find no server and both listen.
    QLockFile lock(name + u".lock"_s);
    lock.tryLock(5000);

    if (IsOurSocket(name)) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(1000)) {
            for (const QByteArray& message : messages)
                socket.write(message);
            while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(1000)) {
            }
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(1000);
            return false;
        }
    }
    // Nobody answers, or what is there is not ours: take the name over.
    QLocalServer::removeServer(name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(name);
    return true;
}

void CSingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // Qt keeps no more than this unread, however much a sender pushes.
        socket->setReadBufferSize(kMaxMessageBytes);
        auto lines = std::make_shared<CMessageLines>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, lines] {
            while (socket->bytesAvailable() > 0) {
                for (const QByteArray& message : lines->Take(socket->read(kMaxMessageBytes)))
                    HandleMessage(message.trimmed());
            }
        });
    }
}

void CSingleInstance::HandleMessage(const QByteArray& line)
{
    bool ok = false;
    const int command = line.toInt(&ok);
    if (ok) {
        Q_EMIT commandReceived(command);
    } else if (line.startsWith(kFeedPrefix)) {
        // Read as the command line is: the running copy trusts a later start no further.
        const QString address = HandedFeedAddress(
            QString::fromUtf8(line.mid(qsizetype(sizeof kFeedPrefix) - 1)));
        if (!address.isEmpty())
            Q_EMIT feedAddressReceived(address);
    }
}
