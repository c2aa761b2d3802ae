// SingleInstance: one running program per user; a second start hands over to the first.
#pragma once
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock and the socket live (the user's runtime folder by default).
    explicit SingleInstance(const QString& name = QStringLiteral("brevicor"), const QString& folder = QString(),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // Becomes the running instance and returns true; or, when another one runs, asks it to come
    // forward and returns false (the caller then exits).
    bool Claim();

    QString SocketPath() const { return socketPath_; }
    QString LockPath() const { return lockPath_; }

    // Runtime folder of the user: $XDG_RUNTIME_DIR, else a private folder under the temp folder.
    static QString DefaultFolder();

signals:
    // Another start of the program asked this one to show its window.
    void ActivationRequested();

private:
    bool NotifyRunning();
    QString socketPath_;
    QString lockPath_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer* server_ = nullptr;
};
