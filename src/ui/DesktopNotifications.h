// The desktop's notification service (org.freedesktop.Notifications on the session bus),
// used for the balloons where the tray icon is hosted as a StatusNotifierItem. Each
// notification replaces the one shown before, so a day of cycles leaves one entry in the
// host's history rather than one per log line. Owned by the tray application; UI thread.
#pragma once

#include "ui/BalloonShown.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <optional>

namespace ornel
{

class DesktopNotifications final : public QObject
{
    Q_OBJECT

public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    explicit DesktopNotifications(QDBusConnection connection, QObject* parent = nullptr);

    // True when a notification service is registered on `connection`.
    [[nodiscard]] static bool ServicePresent(const QDBusConnection& connection);

    // Shows the balloon in place of the one shown before. Never waits for the service: a
    // balloon asked for while the last request is unanswered follows once it is answered,
    // so that it knows what to replace.
    void Show(const BalloonShown& balloon);
    // The service's id of the notification shown last (0: none, or it was closed).
    [[nodiscard]] uint CurrentId() const { return m_id; }

signals:
    // The person clicked the notification shown last.
    void Clicked();

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnNotificationClosed(uint id, uint reason);

private:
    void Send(const BalloonShown& balloon);

    QDBusConnection m_connection;
    uint m_id = 0;
    bool m_waiting = false;
    std::optional<BalloonShown> m_next;
};

} // namespace ornel
