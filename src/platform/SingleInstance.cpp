// SingleInstance: one running program per user; a second start hands over to the first.
#include "platform/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace {
const QByteArray kShow = "show\n";
}

SingleInstance::SingleInstance(const QString& name, const QString& folder, QObject* parent) : QObject(parent)
{
    const QString dir = folder.isEmpty() ? DefaultFolder() : folder;
    QDir().mkpath(dir);
    socketPath_ = QDir(dir).filePath(name + QStringLiteral(".sock"));
    lockPath_ = QDir(dir).filePath(name + QStringLiteral(".lock"));
}

SingleInstance::~SingleInstance()
{
    if (server_)
        server_->close();
}

QString SingleInstance::DefaultFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    return QDir::temp().filePath(QStringLiteral("brevicor-%1").arg(::getuid()));
}

bool SingleInstance::Claim()
{
    // The lock decides who runs, also when two starts race; a lock left by a program that
    // crashed names a process that no longer exists and is taken over.
    for (int attempt = 0; attempt < 50; ++attempt) {
        auto lock = std::make_unique<QLockFile>(lockPath_);
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            lock_ = std::move(lock);
            QLocalServer::removeServer(socketPath_);
            server_ = new QLocalServer(this);
            server_->setSocketOptions(QLocalServer::UserAccessOption);
            if (!server_->listen(socketPath_))
                qWarning("Brevicor: %s", qPrintable(server_->errorString()));
            connect(server_, &QLocalServer::newConnection, this, [this] {
                while (QLocalSocket* peer = server_->nextPendingConnection()) {
                    connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                        if (peer->readAll().contains("show"))
                            emit ActivationRequested();
                        peer->disconnectFromServer();
                    });
                    connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                }
            });
            return true;
        }
        // Another instance holds the lock: hand over to it. Right after its start its socket
        // may not listen yet; try again shortly.
        if (NotifyRunning())
            return false;
        QThread::msleep(100);
    }
    return false;
}

bool SingleInstance::NotifyRunning()
{
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(kShow);
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return true;
}
