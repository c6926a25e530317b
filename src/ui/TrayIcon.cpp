#include "ui/TrayIcon.h"

#include "ui/Branding.h"
#include "ui/DesktopNotifications.h"
#include "ui/ImageLists.h"

#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QWidgetAction>

namespace ornel
{

namespace
{

// The logo item: the picture itself, clickable, with no highlight when hovered.
class LogoItem final : public QLabel
{
public:
    LogoItem(QAction* action, QMenu* menu)
        : m_action(action)
        , m_menu(menu)
    {
        setPixmap(
            ImageLists::Logo(QSize(ImageLists::kLogoWidth, ImageLists::kLogoHeight), devicePixelRatioF()));
        setFixedSize(ImageLists::kLogoWidth, ImageLists::kLogoHeight);
        setCursor(Qt::PointingHandCursor);
        setToolTip(action->toolTip());
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            m_menu->close();
            m_action->trigger();
        }
    }

private:
    QAction* m_action;
    QMenu* m_menu;
};

QString Cut(const QString& text, int maxChars)
{
    if (text.size() <= maxChars) {
        return text;
    }
    int end = maxChars;
    // Never leave half of a surrogate pair at the end.
    if (end > 0 && text.at(end - 1).isHighSurrogate()) {
        --end;
    }
    return text.left(end);
}

} // namespace

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent)
    , m_menu(std::make_unique<QMenu>())
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
    for (int i = 0; i < ImageLists::kTrayFrameCount; ++i) {
        m_frames[static_cast<std::size_t>(i)] = ImageLists::TrayFrame(i);
    }
    m_icon.setIcon(m_frames[0]);
    m_icon.setToolTip(QString::fromUtf8(branding::kTrayHint));
    m_animation.setInterval(kAnimationDelayMs);
    connect(&m_animation, &QTimer::timeout, this, &TrayIcon::StepAnimation);
    m_burst.setSingleShot(true);
    m_burst.setInterval(kBurstQuietMs);
    connect(&m_burst, &QTimer::timeout, this, &TrayIcon::EndBurst);
    connect(&m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
    connect(&m_icon, &QSystemTrayIcon::messageClicked, this, &TrayIcon::OnBalloonClicked);
    BuildMenu();
    m_icon.setContextMenu(m_menu.get());
}

TrayIcon::~TrayIcon()
{
    m_animation.stop();
    m_icon.hide();
    m_icon.setContextMenu(nullptr);
}

void TrayIcon::BuildMenu()
{
    QMenu* menu = m_menu.get();
    auto add = [menu](const char* caption, MenuImage image) {
        QAction* action = menu->addAction(ImageLists::Menu(image), QString::fromUtf8(caption));
        action->setIconVisibleInMenu(true);
        return action;
    };

    auto* logo = new QWidgetAction(menu);
    logo->setText(QString::fromUtf8("Сайт ФК \"КОРВИ\""));
    logo->setToolTip(QString::fromUtf8("ФК \"КОРВИ\""));
    logo->setDefaultWidget(new LogoItem(logo, menu));
    menu->addAction(logo);
    N26 = logo;
    connect(N26, &QAction::triggered, this, &TrayIcon::BrowseSite);

    N13 = add("Настройки", MenuImage::Settings);
    connect(N13, &QAction::triggered, this, &TrayIcon::OptionsClicked);

    N3 = add("Мониторинг", MenuImage::MonitoringOff);
    N3->setCheckable(true);
    connect(N3, &QAction::triggered, this, [this](bool checked) { emit MonitoringClicked(checked); });

    menu->addSeparator()->setObjectName(QStringLiteral("N15"));
    N16 = add("Передать/Принять", MenuImage::SendReceive);
    connect(N16, &QAction::triggered, this, &TrayIcon::SendReceiveClicked);
    N17 = add("Принять/Передать", MenuImage::ReceiveSend);
    connect(N17, &QAction::triggered, this, &TrayIcon::ReceiveSendClicked);

    menu->addSeparator()->setObjectName(QStringLiteral("N18"));
    N19 = add("Статус", MenuImage::Status);
    QFont bold = N19->font();
    bold.setBold(true);
    N19->setFont(bold);
    menu->setDefaultAction(N19);
    connect(N19, &QAction::triggered, this, &TrayIcon::StatusClicked);

    menu->addSeparator()->setObjectName(QStringLiteral("N20"));
    N21 = add("О программе/Контакты", MenuImage::About);
    connect(N21, &QAction::triggered, this, &TrayIcon::AboutClicked);
    N1 = add("Помощь", MenuImage::Help);
    N1->setToolTip(N1->text());
    N1->setEnabled(false);
    N23 = add("Написать разработчикам", MenuImage::Mail);
    N23->setToolTip(N23->text());
    N23->setEnabled(false); // until an address is known
    connect(N23, &QAction::triggered, this, &TrayIcon::BrowseMail);

    menu->addSeparator()->setObjectName(QStringLiteral("N24"));
    N25 = add("Выход", MenuImage::Exit);
    connect(N25, &QAction::triggered, this, &TrayIcon::ExitClicked);

    const std::pair<QAction*, const char*> names[] = {
        {N26, "N26"}, {N13, "N13"}, {N3, "N3"}, {N16, "N16"}, {N17, "N17"},
        {N19, "N19"}, {N21, "N21"}, {N1, "N1"}, {N23, "N23"}, {N25, "N25"},
    };
    for (const auto& [action, name] : names) {
        action->setObjectName(QLatin1String(name));
    }
}

void TrayIcon::Show()
{
    m_icon.show();
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    // On an embedding tray a single click does nothing and the menu opens on its own. A
    // StatusNotifierItem host never reports a double click: its activation is the person's
    // request to open the program.
    if (reason == QSystemTrayIcon::DoubleClick ||
        (reason == QSystemTrayIcon::Trigger && m_host == TrayHost::StatusNotifier)) {
        N19->trigger();
    }
}

void TrayIcon::OnBalloonClicked()
{
    // The balloon's window reaches over the icon, so a right click meant for the icon's
    // menu lands on the balloon; it opens the menu, only other clicks open the status.
    if (QGuiApplication::mouseButtons().testFlag(Qt::RightButton)) {
        m_menu->popup(QCursor::pos());
        return;
    }
    N19->trigger();
}

void TrayIcon::SetAnimated(bool animated)
{
    if (animated) {
        if (!m_animation.isActive()) {
            m_animation.start();
        }
    } else {
        m_animation.stop();
    }
}

void TrayIcon::StepAnimation()
{
    const int next = m_iconIndex < 0 ? 0 : (m_iconIndex + 1) % ImageLists::kTrayFrameCount;
    SetIconIndex(next);
}

void TrayIcon::SetIconIndex(int index)
{
    m_iconIndex = index;
    // An index outside the frames shows the idle picture.
    const bool inRange = index >= 0 && index < ImageLists::kTrayFrameCount;
    m_icon.setIcon(m_frames[inRange ? static_cast<std::size_t>(index) : 0]);
}

void TrayIcon::ShowBalloon(const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon,
                           int timeoutMs)
{
    m_pendingBalloon =
        BalloonShown{Cut(title, kBalloonTitleMax), Cut(text, kBalloonTextMax), icon, timeoutMs};
    m_burst.start(); // each line of the burst puts its end off again
}

void TrayIcon::EndBurst()
{
    m_burst.stop();
    if (!m_pendingBalloon) {
        return;
    }
    BalloonShown balloon = std::move(*m_pendingBalloon);
    m_pendingBalloon.reset();
    if (m_notifications != nullptr) {
        m_notifications->Show(balloon);
    } else if (QSystemTrayIcon::isSystemTrayAvailable() && m_icon.isVisible()) {
        // Without a notification area there is nothing to show the balloon from.
        m_icon.showMessage(balloon.Title, balloon.Text, balloon.Icon, balloon.TimeoutMs);
    }
    m_lastBalloon = std::move(balloon);
}

void TrayIcon::SetNotifications(DesktopNotifications* notifications)
{
    m_notifications = notifications;
    if (m_notifications != nullptr) {
        connect(m_notifications, &DesktopNotifications::Clicked, this, &TrayIcon::OnBalloonClicked,
                Qt::UniqueConnection);
    }
}

void TrayIcon::SetCycleCommandsEnabled(bool enabled)
{
    N16->setEnabled(enabled);
    N17->setEnabled(enabled);
}

void TrayIcon::SetMonitoringEnabled(bool enabled)
{
    N3->setEnabled(enabled);
}

void TrayIcon::SetMonitoringChecked(bool checked)
{
    N3->setChecked(checked);
}

void TrayIcon::SetMonitoringActive(bool active)
{
    const MenuImage image = active ? MenuImage::MonitoringOn : MenuImage::MonitoringOff;
    m_monitoringImage = static_cast<int>(image);
    N3->setIcon(ImageLists::Menu(image));
}

bool TrayIcon::MonitoringChecked() const
{
    return N3->isChecked();
}

bool TrayIcon::MonitoringEnabled() const
{
    return N3->isEnabled();
}

void TrayIcon::SetContacts(const Contacts& contacts)
{
    m_contacts = contacts;
    N23->setEnabled(!m_contacts.Mail.isEmpty());
}

void TrayIcon::BrowseSite()
{
    if (const QUrl url = m_contacts.SiteUrl(); !url.isEmpty()) {
        m_openUrl(url);
    }
}

void TrayIcon::BrowseMail()
{
    if (const QUrl url = m_contacts.MailUrl(); !url.isEmpty()) {
        m_openUrl(url);
    }
}

} // namespace ornel
