// The notification-area icon with its pop-up menu, animation and balloon hints. Owned by
// the tray application's controller, which connects the item signals below to its
// handlers; UI thread only.
//
// Menu, top to bottom (item name: caption, signal):
//   N26  logo picture           -> opens the web site (BrowseURL1), handled here
//   N13  "Настройки"            -> OptionsClicked          (N1Click)
//   N3   "Мониторинг" (check)   -> MonitoringClicked(bool)  (N3Click, new check state)
//   N15  separator
//   N16  "Передать/Принять"     -> SendReceiveClicked      (N4Click)
//   N17  "Принять/Передать"     -> ReceiveSendClicked      (N2Click)
//   N18  separator
//   N19  "Статус" (default)     -> StatusClicked           (N5Click; also double click and
//                                                           balloon click)
//   N20  separator
//   N21  "О программе/Контакты" -> AboutClicked            (N11Click)
//   N1   "Помощь" (disabled)    -> nothing
//   N23  "Написать разработчикам" -> opens a mail message (BrowseURL2), handled here
//   N24  separator
//   N25  "Выход"                -> ExitClicked             (N6Click)
#pragma once

#include "ui/BalloonShown.h"
#include "ui/Contacts.h"
#include "ui/ImageLists.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace ornel
{

class DesktopNotifications;

// How the desktop hosts the icon. An embedding tray reports single and double clicks; a
// StatusNotifierItem host (Plasma, GNOME with the AppIndicator extension, recent XFCE)
// sends one activation for what the person did to open the program.
enum class TrayHost
{
    Embedded,
    StatusNotifier,
};

class TrayIcon final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kAnimationDelayMs = 350;
    static constexpr int kBalloonTitleMax = 63;
    static constexpr int kBalloonTextMax = 255;

    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // Puts the icon into the notification area (also when none is there yet: Qt embeds
    // it as soon as a tray host appears, and again after the host restarts).
    void Show();

    // The animation of an exchange cycle: frames step every 350 ms while on; switching it
    // off keeps the current frame until SetIconIndex.
    void SetAnimated(bool animated);
    [[nodiscard]] bool Animated() const { return m_animation.isActive(); }
    void SetIconIndex(int index);
    // One tick of the animation: the next frame, after the last the first again.
    void StepAnimation();
    [[nodiscard]] int IconIndex() const { return m_iconIndex; }

    // Single clicks open the status window only on a StatusNotifierItem host.
    void SetHost(TrayHost host) { m_host = host; }
    [[nodiscard]] TrayHost Host() const { return m_host; }

    // A balloon with the latest log lines; the title is cut to 63 and the text to 255
    // characters. Lines come in bursts (a cycle's start writes a dozen at once): a balloon
    // is shown once a burst has been quiet for kBurstQuietMs, with what was asked for last,
    // and replaces the one before.
    static constexpr int kBurstQuietMs = 1000;
    void ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon,
                     int timeoutMs);
    // Shows the balloon of the burst now (what the quiet timer does at its end).
    void EndBurst();
    [[nodiscard]] bool BurstPending() const { return m_pendingBalloon.has_value(); }
    // The balloon shown last.
    [[nodiscard]] const std::optional<BalloonShown>& LastBalloon() const { return m_lastBalloon; }
    // Balloons go to the desktop's notification service instead of the icon's own, so that
    // each replaces the one before in the host's history (null: the icon's own).
    void SetNotifications(DesktopNotifications* notifications);

    // "Передать/Принять" and "Принять/Передать": greyed while a cycle runs.
    void SetCycleCommandsEnabled(bool enabled);

    // "Мониторинг": enabled state, check mark, and its picture (on while monitoring runs).
    void SetMonitoringEnabled(bool enabled);
    void SetMonitoringChecked(bool checked);
    void SetMonitoringActive(bool active);
    [[nodiscard]] bool MonitoringChecked() const;
    [[nodiscard]] bool MonitoringEnabled() const;
    [[nodiscard]] int MonitoringImage() const { return m_monitoringImage; }

    // The addresses behind the site and mail items; the mail item is greyed while no
    // address is set, the site item then does nothing.
    void SetContacts(const Contacts& contacts);
    // Opens the web site / a mail message (also used by the status window's logo).
    void BrowseSite();
    void BrowseMail();
    // Replaces the shell call that opens web and mail addresses (tests record instead).
    void SetUrlOpener(std::function<void(const QUrl&)> opener) { m_openUrl = std::move(opener); }

    [[nodiscard]] QMenu* PopupMenu() { return m_menu.get(); }
    [[nodiscard]] QSystemTrayIcon& Icon() { return m_icon; }

    QAction* N26 = nullptr;
    QAction* N13 = nullptr;
    QAction* N3 = nullptr;
    QAction* N16 = nullptr;
    QAction* N17 = nullptr;
    QAction* N19 = nullptr;
    QAction* N21 = nullptr;
    QAction* N1 = nullptr;
    QAction* N23 = nullptr;
    QAction* N25 = nullptr;

signals:
    void OptionsClicked();
    void MonitoringClicked(bool checked);
    void SendReceiveClicked();
    void ReceiveSendClicked();
    void StatusClicked();
    void AboutClicked();
    void ExitClicked();

private:
    void BuildMenu();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void OnBalloonClicked();

    QSystemTrayIcon m_icon;
    std::array<QIcon, ImageLists::kTrayFrameCount>
        m_frames;                  // read once: the animation swaps them every 350 ms
    std::unique_ptr<QMenu> m_menu; // a menu has no parent widget; the icon only borrows it
    QTimer m_animation;
    int m_iconIndex = 0;
    int m_monitoringImage = 9;
    TrayHost m_host = TrayHost::Embedded;
    QTimer m_burst;
    std::optional<BalloonShown> m_pendingBalloon;
    std::optional<BalloonShown> m_lastBalloon;
    DesktopNotifications* m_notifications = nullptr;
    std::function<void(const QUrl&)> m_openUrl;
    Contacts m_contacts;
};

} // namespace ornel
