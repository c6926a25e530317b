// One balloon of the tray icon as it is shown: title and text already cut to the lengths
// the notification area takes.
#pragma once

#include <QString>
#include <QSystemTrayIcon>

namespace ornel
{

struct BalloonShown
{
    QString Title;
    QString Text;
    QSystemTrayIcon::MessageIcon Icon = QSystemTrayIcon::Information;
    int TimeoutMs = 0;
};

} // namespace ornel
