#include "ui/InstanceChannel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QPointer>

namespace ornel
{

namespace
{

constexpr const char* kRequest = "status\n";
constexpr const char* kAnswer = "ok\n";
// A Unix socket address holds about 107 bytes.
constexpr qsizetype kMaxSocketPath = 100;

} // namespace

InstanceChannel::InstanceChannel(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceChannel::Serve);
}

QString InstanceChannel::Address(const std::filesystem::path& storeFolder)
{
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(storeFolder, ignored);
    const QString folder = QString::fromStdString(absolute.lexically_normal().string());
    const QString inFolder = QDir(folder).filePath(QStringLiteral("agent.sock"));
    if (inFolder.toUtf8().size() <= kMaxSocketPath) {
        return inFolder;
    }
    const QByteArray hash =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("ornel_ftp-%1.sock").arg(QString::fromLatin1(hash)));
}

bool InstanceChannel::Listen(const std::filesystem::path& storeFolder)
{
    const QString address = Address(storeFolder);
    QLocalServer::removeServer(address);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    return m_server.listen(address);
}

void InstanceChannel::Serve()
{
    while (QLocalSocket* client = m_server.nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        QPointer<QLocalSocket> guard(client);
        connect(client, &QLocalSocket::readyRead, this, [this, guard] {
            if (!guard || !guard->canReadLine()) {
                return;
            }
            const QByteArray line = guard->readLine();
            if (line == kRequest) {
                emit ShowStatusRequested();
                // The window may have run a nested loop meanwhile; the socket may be gone.
                if (guard) {
                    guard->write(kAnswer);
                    guard->flush();
                }
            }
            if (guard) {
                guard->disconnectFromServer();
            }
        });
    }
}

bool InstanceChannel::RequestShowStatus(const std::filesystem::path& storeFolder,
                                        std::chrono::milliseconds wait)
{
    QLocalSocket socket;
    socket.connectToServer(Address(storeFolder));
    const int ms = static_cast<int>(wait.count());
    if (!socket.waitForConnected(ms)) {
        return false;
    }
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(ms)) {
        return false;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(ms)) {
            return false;
        }
    }
    return socket.readLine() == kAnswer;
}

} // namespace ornel
