// The balloon rule: one notification per burst of log lines, each replacing the one before
// where the desktop's notification service allows it. The service here is a recording one
// on a private session bus of the test's own.
#include "ui/DesktopNotifications.h"
#include "ui/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace ornel::test
{

// The desktop's notification service as far as the agent uses it, recording every Notify.
class RecordingNotifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        uint ReplacesId;
        QString Summary;
        QString Body;
        QString Icon;
        int Timeout;
    };
    std::vector<Call> Calls;

public slots:
    uint Notify(const QString& /*app*/, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& /*actions*/, const QVariantMap& /*hints*/,
                int timeout)
    {
        Calls.push_back({replacesId, summary, body, icon, timeout});
        return replacesId != 0 ? replacesId : ++m_lastId;
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }

private:
    uint m_lastId = 40;
};

namespace
{

// A session bus of the test's own, ended by its PID.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            return;
        }
        m_process.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address=1")});
        if (m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000)) {
            m_address = QString::fromUtf8(m_process.readLine()).trimmed();
        }
    }
    ~PrivateBus()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    [[nodiscard]] const QString& Address() const { return m_address; }

private:
    QProcess m_process;
    QString m_address;
};

TEST(TrayBalloons, ABurstOfLinesGivesOneBalloonWithItsLastTextOnceItIsQuiet)
{
    TrayIcon tray;
    for (int i = 1; i <= 12; ++i) {
        tray.ShowBalloon(QStringLiteral("T"), QStringLiteral("line %1").arg(i), QSystemTrayIcon::Information,
                         5000);
    }
    EXPECT_FALSE(tray.LastBalloon().has_value());
    EXPECT_TRUE(tray.BurstPending());
    QElapsedTimer quiet;
    quiet.start();
    QTRY_VERIFY_WITH_TIMEOUT(tray.LastBalloon().has_value(), 5000);
    EXPECT_GE(quiet.elapsed(), TrayIcon::kBurstQuietMs - 50);
    EXPECT_EQ(tray.LastBalloon()->Text, QStringLiteral("line 12"));
    EXPECT_FALSE(tray.BurstPending());
    // Nothing more comes of that burst.
    tray.EndBurst();
    EXPECT_EQ(tray.LastBalloon()->Text, QStringLiteral("line 12"));
}

TEST(TrayBalloons, EachBurstReplacesTheNotificationBeforeAndAClickOnItOpensTheStatus)
{
    PrivateBus bus;
    if (bus.Address().isEmpty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    QDBusConnection desktopSide =
        QDBusConnection::connectToBus(bus.Address(), QStringLiteral("recording-desktop"));
    QDBusConnection agentSide = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("agent"));
    ASSERT_TRUE(desktopSide.isConnected() && agentSide.isConnected());
    RecordingNotifications service;
    ASSERT_TRUE(desktopSide.registerObject(QString::fromLatin1(DesktopNotifications::kPath), &service,
                                           QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(desktopSide.registerService(QString::fromLatin1(DesktopNotifications::kService)));
    ASSERT_TRUE(DesktopNotifications::ServicePresent(agentSide));

    DesktopNotifications notifications(agentSide);
    TrayIcon tray;
    tray.SetHost(TrayHost::StatusNotifier);
    tray.SetNotifications(&notifications);
    QSignalSpy status(&tray, &TrayIcon::StatusClicked);

    // A cycle's start: a dozen lines, one notification.
    for (int i = 1; i <= 12; ++i) {
        tray.ShowBalloon(QStringLiteral("ORNEL_FTP"), QStringLiteral("Старт %1 <a&b>\r\n").arg(i),
                         QSystemTrayIcon::Information, 5000);
    }
    tray.EndBurst();
    QTRY_COMPARE_WITH_TIMEOUT(notifications.CurrentId(), 41u, 5000);
    ASSERT_EQ(service.Calls.size(), 1u);
    EXPECT_EQ(service.Calls[0].ReplacesId, 0u);
    EXPECT_EQ(service.Calls[0].Body, QStringLiteral("Старт 12 &lt;a&amp;b&gt;\n"));
    EXPECT_EQ(service.Calls[0].Icon, QStringLiteral("dialog-information"));
    EXPECT_EQ(service.Calls[0].Timeout, 5000);

    // The next bursts replace it, also when one follows before the service has answered.
    tray.ShowBalloon(QStringLiteral("ORNEL_FTP"), QStringLiteral("Ошибка: 550"), QSystemTrayIcon::Critical,
                     6000);
    tray.EndBurst();
    tray.ShowBalloon(QStringLiteral("ORNEL_FTP"), QStringLiteral("Стоп"), QSystemTrayIcon::Information, 5000);
    tray.EndBurst();
    QTRY_COMPARE_WITH_TIMEOUT(service.Calls.size(), 3u, 5000);
    EXPECT_EQ(service.Calls[1].ReplacesId, 41u);
    EXPECT_EQ(service.Calls[1].Icon, QStringLiteral("dialog-error"));
    EXPECT_EQ(service.Calls[2].ReplacesId, 41u);
    EXPECT_EQ(service.Calls[2].Body, QStringLiteral("Стоп"));

    // A click on it ("default" action) opens the status window; one on another program's
    // notification does not.
    auto emitAction = [&](uint id) {
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(DesktopNotifications::kPath),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        desktopSide.send(signal);
    };
    emitAction(7);
    emitAction(41);
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 5000);
    QTest::qWait(100);
    EXPECT_EQ(status.count(), 1);

    // Once the person has closed it, the next balloon is a new notification.
    QDBusMessage closed = QDBusMessage::createSignal(QString::fromLatin1(DesktopNotifications::kPath),
                                                     QStringLiteral("org.freedesktop.Notifications"),
                                                     QStringLiteral("NotificationClosed"));
    closed << 41u << 2u;
    desktopSide.send(closed);
    QTRY_COMPARE_WITH_TIMEOUT(notifications.CurrentId(), 0u, 5000);
    tray.ShowBalloon(QStringLiteral("ORNEL_FTP"), QStringLiteral("Старт"), QSystemTrayIcon::Information,
                     5000);
    tray.EndBurst();
    QTRY_COMPARE_WITH_TIMEOUT(service.Calls.size(), 4u, 5000);
    EXPECT_EQ(service.Calls[3].ReplacesId, 0u);

    QDBusConnection::disconnectFromBus(QStringLiteral("agent"));
    QDBusConnection::disconnectFromBus(QStringLiteral("recording-desktop"));
}

} // namespace
} // namespace ornel::test

#include "NotificationsTest.moc"
