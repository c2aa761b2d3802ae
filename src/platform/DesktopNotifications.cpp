// DesktopNotifications: the desktop's notification bubbles (org.freedesktop.Notifications on the
// session bus); clicking one runs what its sender asked for.
#include "platform/DesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
}

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus)
{
    bus_.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                 SLOT(ActionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                 SLOT(NotificationClosed(uint, uint)));
}

QString DesktopNotifications::EscapeMarkup(const QString& text)
{
    return text.toHtmlEscaped();
}

void DesktopNotifications::Notify(const QString& summary, const QString& body, std::function<void()> onClick)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("brevicor"));
    // "default" is the click on the bubble itself.
    const QStringList actions{QStringLiteral("default"), QStringLiteral("Ouvrir")};
    call << QStringLiteral("Brevicor") << uint(0) << QStringLiteral("mail-unread") << summary << EscapeMarkup(body)
         << actions << hints << int(-1);
    // The service may be slow or absent: the program does not wait for it.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, onClick = std::move(onClick)](QDBusPendingCallWatcher* w) {
                QDBusPendingReply<uint> reply = *w;
                if (reply.isValid() && onClick)
                    clicks_[reply.value()] = onClick;
                else if (reply.isError())
                    qWarning("Brevicor: notification refused: %s", qPrintable(reply.error().message()));
                w->deleteLater();
            });
}

void DesktopNotifications::ActionInvoked(uint id, const QString& action)
{
    auto it = clicks_.find(id);
    if (it == clicks_.end() || action != QLatin1String("default"))
        return;
    const std::function<void()> click = it->second;
    clicks_.erase(it);
    click();
}

void DesktopNotifications::NotificationClosed(uint id, uint)
{
    clicks_.erase(id);
}
