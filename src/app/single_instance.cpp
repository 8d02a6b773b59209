#include "app/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

namespace veldrin {

namespace {

constexpr QByteArrayView kRaiseRequest = "raise\n";
constexpr int kConnectTimeoutMs = 2000;

QString defaultRuntimeFolder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

} // namespace

QString SingleInstance::keyFor(const QString& dataFolder) {
    // The canonical path, so that two spellings of one folder meet.
    const QFileInfo info(dataFolder);
    const QString canonical = info.canonicalFilePath();
    const QString path = canonical.isEmpty() ? info.absoluteFilePath() : canonical;
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("veldrin-") + QString::fromLatin1(hash.toHex().left(24));
}

SingleInstance::SingleInstance(const QString& dataFolder, const QString& runtimeFolder) {
    const QString folder = runtimeFolder.isEmpty() ? defaultRuntimeFolder() : runtimeFolder;
    const QString key = keyFor(dataFolder);
    lockPath_ = QDir(folder).filePath(key + QStringLiteral(".lock"));
    serverPath_ = QDir(folder).filePath(key + QStringLiteral(".socket"));
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::readRequests);
}

SingleInstance::~SingleInstance() {
    server_.close();
}

SingleInstance::Outcome SingleInstance::claim() {
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // Never stale while its process lives: a window may stay open for months. A lock left by a
    // process that died is still taken over.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        return listen() ? Outcome::First : Outcome::Failed;
    }
    if (lock_->error() != QLockFile::LockFailedError) {
        error_ = QStringLiteral("cannot make the lock file %1").arg(lockPath_);
        return Outcome::Failed;
    }
    askFirstToRaise();
    return Outcome::AlreadyRunning;
}

bool SingleInstance::listen() {
    // A socket left behind by a process that died; we hold the lock, so nobody else uses it.
    QLocalServer::removeServer(serverPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(serverPath_)) {
        error_ = QStringLiteral("cannot listen on %1: %2").arg(serverPath_, server_.errorString());
        lock_->unlock();
        return false;
    }
    return true;
}

bool SingleInstance::askFirstToRaise() {
    QLocalSocket socket;
    socket.connectToServer(serverPath_);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false; // still starting, or hung: the message is shown all the same
    }
    socket.write(kRaiseRequest.data(), kRaiseRequest.size());
    const bool sent = socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

void SingleInstance::readRequests() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto drain = [this, socket] {
            // Only whole lines count; anything else from the socket is ignored.
            while (socket->canReadLine()) {
                if (socket->readLine(64) ==
                    QByteArray(kRaiseRequest.data(), kRaiseRequest.size())) {
                    Q_EMIT raiseRequested();
                }
            }
            if (socket->bytesAvailable() > 64) {
                socket->abort();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, drain);
        drain();
    }
}

} // namespace veldrin
