#include "ui/DesktopNotifications.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace ornel
{

namespace
{

constexpr const char* kInterface = "org.freedesktop.Notifications";
// The program's name as the host lists it.
constexpr const char* kAppName = "Ornel FTP";

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection connection, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
{
    m_connection.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                         QString::fromLatin1(kInterface), QStringLiteral("ActionInvoked"), this,
                         SLOT(OnActionInvoked(uint, QString)));
    m_connection.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                         QString::fromLatin1(kInterface), QStringLiteral("NotificationClosed"), this,
                         SLOT(OnNotificationClosed(uint, uint)));
}

bool DesktopNotifications::ServicePresent(const QDBusConnection& connection)
{
    const QDBusConnectionInterface* bus = connection.isConnected() ? connection.interface() : nullptr;
    return bus != nullptr && bus->isServiceRegistered(QString::fromLatin1(kService)).value();
}

void DesktopNotifications::Show(const BalloonShown& balloon)
{
    if (m_waiting) {
        m_next = balloon;
        return;
    }
    Send(balloon);
}

void DesktopNotifications::Send(const BalloonShown& balloon)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Notify"));
    const bool error = balloon.Icon == QSystemTrayIcon::Critical;
    QString body = balloon.Text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Hosts may read the body as markup; file names with "<" or "&" stay as they are.
    body = body.toHtmlEscaped();
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(error ? 2 : 1));
    call << QString::fromLatin1(kAppName) << m_id
         << (error ? QStringLiteral("dialog-error") : QStringLiteral("dialog-information")) << balloon.Title
         << body << QStringList{QStringLiteral("default"), QString::fromUtf8("Статус")} << hints
         << static_cast<int>(balloon.TimeoutMs);
    m_waiting = true;
    auto* watcher = new QDBusPendingCallWatcher(m_connection.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        const QDBusPendingReply<uint> reply = *finished;
        // A service that failed keeps nothing to replace: the next one is a new notification.
        m_id = reply.isError() ? 0 : reply.value();
        m_waiting = false;
        if (m_next) {
            const BalloonShown next = std::move(*m_next);
            m_next.reset();
            Send(next);
        }
    });
}

void DesktopNotifications::OnActionInvoked(uint id, const QString& action)
{
    if (id != 0 && id == m_id && action == QStringLiteral("default")) {
        emit Clicked();
    }
}

void DesktopNotifications::OnNotificationClosed(uint id, uint /*reason*/)
{
    if (id == m_id) {
        m_id = 0;
    }
}

} // namespace ornel
