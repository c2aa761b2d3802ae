// DesktopNotifications: the desktop's notification bubbles (org.freedesktop.Notifications on the
// session bus); clicking one runs what its sender asked for.
#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <map>

class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifications(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // Shows a notification without waiting for the service; onClick runs when the user clicks
    // it. The body is plain text (it is escaped for services that read markup).
    void Notify(const QString& summary, const QString& body, std::function<void()> onClick);

    // Notifications shown and not yet clicked or closed.
    size_t Pending() const { return clicks_.size(); }

    static QString EscapeMarkup(const QString& text);

private slots:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection bus_;
    std::map<uint, std::function<void()>> clicks_;
};
