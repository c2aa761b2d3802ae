// KeychainStore: the desktop's secret store (Secret Service through QtKeychain).
#include "platform/SecretStore.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>
#include <glib.h>
#include <qt6keychain/keychain.h>

namespace {

// Runs a keychain job to its end while the event loop goes on (the store answers over D-Bus).
void runJob(QKeychain::Job& job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    // The Secret Service library answers through GLib's main loop. When Qt runs its own loop
    // instead (QT_NO_GLIB in the environment), GLib's is turned here, or no answer would ever come.
    QTimer glibTurns;
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher && !dispatcher->inherits("QEventDispatcherGlib")) {
        QObject::connect(&glibTurns, &QTimer::timeout, [] {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        });
        glibTurns.start(5);
    }
    job.setAutoDelete(false);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// An answer that says there is no store to talk to, rather than no such secret.
bool noStore(QKeychain::Error e)
{
    return e != QKeychain::NoError && e != QKeychain::EntryNotFound;
}

} // namespace

KeychainStore::KeychainStore(QString service) : service_(std::move(service)) {}

bool KeychainStore::Available()
{
    if (!available_) {
        // A read of a key nobody writes: "not found" means a store is there and open.
        QKeychain::ReadPasswordJob probe(service_);
        probe.setKey(QStringLiteral("brevicor-probe"));
        runJob(probe);
        available_ = !noStore(probe.error());
    }
    return *available_;
}

std::optional<QString> KeychainStore::Read(const QString& key)
{
    if (!Available())
        return std::nullopt;
    QKeychain::ReadPasswordJob job(service_);
    job.setKey(key);
    runJob(job);
    if (job.error() != QKeychain::NoError)
        return std::nullopt;
    return job.textData();
}

bool KeychainStore::Write(const QString& key, const QString& secret)
{
    if (!Available())
        return false;
    QKeychain::WritePasswordJob job(service_);
    job.setKey(key);
    job.setTextData(secret);
    runJob(job);
    if (noStore(job.error()))
        available_ = false;
    return job.error() == QKeychain::NoError;
}

void KeychainStore::Remove(const QString& key)
{
    if (!Available())
        return;
    QKeychain::DeletePasswordJob job(service_);
    job.setKey(key);
    runJob(job);
}

std::unique_ptr<SecretStore> NewDesktopSecretStore()
{
    return std::make_unique<KeychainStore>();
}
