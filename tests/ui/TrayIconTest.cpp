#include "ui/TrayIcon.h"

#include "engine/Desktop.h"
#include "ui/QtDesktop.h"
#include "ui/TFMess.h"
#include "ui/TFUStatus.h"
#include "ui/TFUnkNownFiles.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

QStringList MenuLayout(QMenu& menu)
{
    QStringList items;
    for (QAction* action : menu.actions()) {
        items << (action->isSeparator() ? QStringLiteral("-")
                                        : action->objectName() + QLatin1Char('=') + action->text());
    }
    return items;
}

TEST(TrayIcon, MenuHoldsEveryItemInOrderWithCaptionsAndImages)
{
    TrayIcon tray;
    const QStringList expected = {
        QString::fromUtf8("N26=Сайт ФК \"КОРВИ\""),
        QString::fromUtf8("N13=Настройки"),
        QString::fromUtf8("N3=Мониторинг"),
        QStringLiteral("-"),
        QString::fromUtf8("N16=Передать/Принять"),
        QString::fromUtf8("N17=Принять/Передать"),
        QStringLiteral("-"),
        QString::fromUtf8("N19=Статус"),
        QStringLiteral("-"),
        QString::fromUtf8("N21=О программе/Контакты"),
        QString::fromUtf8("N1=Помощь"),
        QString::fromUtf8("N23=Написать разработчикам"),
        QStringLiteral("-"),
        QString::fromUtf8("N25=Выход"),
    };
    EXPECT_EQ(MenuLayout(*tray.PopupMenu()), expected);

    for (QAction* action :
         {tray.N13, tray.N3, tray.N16, tray.N17, tray.N19, tray.N21, tray.N1, tray.N23, tray.N25}) {
        EXPECT_FALSE(action->icon().isNull()) << action->objectName().toStdString();
        EXPECT_FALSE(action->icon().pixmap(16, 16).isNull()) << action->objectName().toStdString();
    }
    EXPECT_EQ(tray.PopupMenu()->defaultAction(), tray.N19);
    EXPECT_TRUE(tray.N19->font().bold());
    EXPECT_FALSE(tray.N1->isEnabled());
    EXPECT_TRUE(tray.N3->isCheckable());
    EXPECT_EQ(tray.N26->toolTip(), QString::fromUtf8("ФК \"КОРВИ\""));
    EXPECT_EQ(tray.Icon().toolTip(), QString::fromUtf8("ORNEL_FTP. ФК \"Корви\""));
    EXPECT_FALSE(tray.Icon().icon().isNull());
}

TEST(TrayIcon, ItemsReachTheirHandlersAndLinksOpenTheirAddresses)
{
    TrayIcon tray;
    std::vector<QUrl> opened;
    tray.SetUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    QSignalSpy options(&tray, &TrayIcon::OptionsClicked);
    QSignalSpy sendReceive(&tray, &TrayIcon::SendReceiveClicked);
    QSignalSpy receiveSend(&tray, &TrayIcon::ReceiveSendClicked);
    QSignalSpy status(&tray, &TrayIcon::StatusClicked);
    QSignalSpy about(&tray, &TrayIcon::AboutClicked);
    QSignalSpy exitSpy(&tray, &TrayIcon::ExitClicked);

    tray.N13->trigger();
    tray.N16->trigger();
    tray.N17->trigger();
    tray.N19->trigger();
    tray.N21->trigger();
    tray.N25->trigger();
    tray.N1->trigger(); // disabled: nothing
    EXPECT_EQ(options.count(), 1);
    EXPECT_EQ(sendReceive.count(), 1);
    EXPECT_EQ(receiveSend.count(), 1);
    EXPECT_EQ(status.count(), 1);
    EXPECT_EQ(about.count(), 1);
    EXPECT_EQ(exitSpy.count(), 1);

    // On an embedding tray a double click and a click on the balloon show the status
    // window, a single click does not; a StatusNotifierItem host's one activation does.
    emit tray.Icon().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(status.count(), 1);
    emit tray.Icon().activated(QSystemTrayIcon::DoubleClick);
    emit tray.Icon().messageClicked();
    EXPECT_EQ(status.count(), 3);
    tray.SetHost(TrayHost::StatusNotifier);
    emit tray.Icon().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(status.count(), 4);
    emit tray.Icon().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(status.count(), 4);

    // While a cycle runs the two cycle items are greyed and ask for nothing.
    tray.SetCycleCommandsEnabled(false);
    EXPECT_FALSE(tray.N16->isEnabled());
    EXPECT_FALSE(tray.N17->isEnabled());
    tray.N16->trigger();
    tray.N17->trigger();
    EXPECT_EQ(sendReceive.count(), 1);
    EXPECT_EQ(receiveSend.count(), 1);
    tray.SetCycleCommandsEnabled(true);
    EXPECT_TRUE(tray.N16->isEnabled() && tray.N17->isEnabled());

    // No address is compiled in: without contacts the mail item is greyed and the site
    // item opens nothing.
    EXPECT_FALSE(tray.N23->isEnabled());
    tray.N26->trigger();
    tray.N23->trigger();
    EXPECT_TRUE(opened.empty());
    Contacts contacts;
    contacts.Site = QStringLiteral("www.example.ru");
    contacts.Mail = QStringLiteral("support@example.ru");
    tray.SetContacts(contacts);
    EXPECT_TRUE(tray.N23->isEnabled());
    tray.N26->trigger();
    tray.N23->trigger();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://www.example.ru")));
    EXPECT_EQ(opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(opened[1].path(), QStringLiteral("support@example.ru"));
}

TEST(TrayIcon, MonitoringItemTogglesAndItsImageFollowsMonitoring)
{
    TrayIcon tray;
    QSignalSpy clicked(&tray, &TrayIcon::MonitoringClicked);
    EXPECT_EQ(tray.MonitoringImage(), 9);

    tray.N3->trigger();
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_TRUE(clicked.at(0).at(0).toBool());
    EXPECT_TRUE(tray.MonitoringChecked());
    tray.N3->trigger();
    EXPECT_FALSE(clicked.at(1).at(0).toBool());

    tray.SetMonitoringActive(true);
    EXPECT_EQ(tray.MonitoringImage(), 1);
    tray.SetMonitoringActive(false);
    EXPECT_EQ(tray.MonitoringImage(), 9);

    // The schedule disables and unchecks it outside the working window.
    tray.SetMonitoringEnabled(false);
    tray.SetMonitoringChecked(false);
    EXPECT_FALSE(tray.MonitoringEnabled());
    tray.N3->trigger();
    EXPECT_EQ(clicked.count(), 2);
}

TEST(TrayIcon, AnimationStepsThroughSixFramesAndStopsWhereItIs)
{
    TrayIcon tray;
    tray.SetAnimated(true);
    EXPECT_TRUE(tray.Animated());
    std::vector<int> frames;
    for (int i = 0; i < 7; ++i) {
        tray.StepAnimation();
        frames.push_back(tray.IconIndex());
    }
    EXPECT_EQ(frames, (std::vector<int>{1, 2, 3, 4, 5, 0, 1}));
    tray.SetAnimated(false);
    EXPECT_FALSE(tray.Animated());
    EXPECT_EQ(tray.IconIndex(), 1);
    tray.SetIconIndex(0);
    EXPECT_EQ(tray.IconIndex(), 0);

    tray.SetIconIndex(-4);
    tray.StepAnimation();
    EXPECT_EQ(tray.IconIndex(), 0);
}

TEST(TrayIcon, BalloonsAreCutAndKeepTheirKindAndTime)
{
    TrayIcon tray;
    TFUStatus status(nullptr);
    TFMess messages;
    TFUnkNownFiles files;
    QtDesktop desktop(tray, status, messages, files);

    const std::string title(70, 'T');
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text += "ж"; // two bytes in UTF-8, one character
    }
    desktop.ShowBalloon(title, text, BalloonIcon::Error, 6000);
    tray.EndBurst();
    ASSERT_TRUE(tray.LastBalloon().has_value());
    EXPECT_EQ(tray.LastBalloon()->Title.size(), 63);
    EXPECT_EQ(tray.LastBalloon()->Text.size(), 255);
    EXPECT_EQ(tray.LastBalloon()->Text, QString(255, QChar(0x0436)));
    EXPECT_EQ(tray.LastBalloon()->Icon, QSystemTrayIcon::Critical);
    EXPECT_EQ(tray.LastBalloon()->TimeoutMs, 6000);

    desktop.ShowBalloon("ORNEL_FTP. ФК \"Корви\"", "Прием\r\n", BalloonIcon::Info, 5000);
    tray.EndBurst();
    EXPECT_EQ(tray.LastBalloon()->Title, QString::fromUtf8("ORNEL_FTP. ФК \"Корви\""));
    EXPECT_EQ(tray.LastBalloon()->Text, QString::fromUtf8("Прием\r\n"));
    EXPECT_EQ(tray.LastBalloon()->Icon, QSystemTrayIcon::Information);
    EXPECT_EQ(tray.LastBalloon()->TimeoutMs, 5000);

    // A character outside the basic plane is not split at the cut.
    QString emoji = QString(254, QLatin1Char('a')) + QString::fromUtf8("😀");
    tray.ShowBalloon({}, emoji, QSystemTrayIcon::Information, 5000);
    tray.EndBurst();
    EXPECT_EQ(tray.LastBalloon()->Text, QString(254, QLatin1Char('a')));
}

TEST(QtDesktop, MonitoringItemAndMessageBoxesAsTheCoreSeesThem)
{
    TrayIcon tray;
    TFUStatus status(nullptr);
    TFMess messages;
    TFUnkNownFiles files;
    QtDesktop desktop(tray, status, messages, files);

    desktop.SetMonitoringItemChecked(true);
    EXPECT_TRUE(desktop.MonitoringItemChecked());
    desktop.SetMonitoringItemImage(1);
    EXPECT_EQ(tray.MonitoringImage(), 1);
    desktop.SetMonitoringItemEnabled(false);
    EXPECT_FALSE(desktop.MonitoringItemEnabled());
    // The picture follows the monitoring state, not the check mark: a manual cycle outside the
    // window leaves monitoring on with the item unchecked.
    desktop.SetMonitoringItemChecked(false);
    EXPECT_EQ(tray.MonitoringImage(), 1);
    desktop.SetMonitoringItemImage(9);
    EXPECT_EQ(tray.MonitoringImage(), 9);

    desktop.SetTrayAnimated(true);
    EXPECT_TRUE(tray.Animated());
    desktop.SetTrayAnimated(false);
    desktop.SetTrayIconIndex(0);
    EXPECT_FALSE(tray.Animated());

    const auto box = QtDesktop::MakeMessageBox("Ошибка", "Папка не найдена", MessageIcon::Warning);
    EXPECT_EQ(box->windowTitle(), QString::fromUtf8("Ошибка"));
    EXPECT_EQ(box->text(), QString::fromUtf8("Папка не найдена"));
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(QtDesktop::MakeMessageBox("a", "b", MessageIcon::Error)->icon(), QMessageBox::Critical);

    desktop.SetApplicationTitle("Сжатие локальной БД........");
    EXPECT_EQ(desktop.ApplicationTitle(), "Сжатие локальной БД........");
    desktop.SetApplicationTitle("Ornel FTP");
}

} // namespace
} // namespace ornel::test
