#include "ui/QtDesktop.h"

#include "ui/TFMess.h"
#include "ui/TFUStatus.h"
#include "ui/TFUnkNownFiles.h"
#include "ui/TrayIcon.h"

#include <QPushButton>

namespace ornel
{

namespace
{

QString Text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

} // namespace

QtDesktop::QtDesktop(TrayIcon& tray, TFUStatus& status, TFMess& messages, TFUnkNownFiles& unknownFiles)
    : m_tray(tray)
    , m_status(status)
    , m_messages(messages)
    , m_unknownFiles(unknownFiles)
{}

void QtDesktop::AppendProtocolLine(const std::string& line)
{
    m_status.AppendProtocolLine(Text(line));
}

void QtDesktop::SetProgressRange(std::int64_t maximum)
{
    m_status.SetProgressRange(maximum);
}

void QtDesktop::SetProgressPosition(std::int64_t position)
{
    m_status.SetProgressPosition(position);
}

void QtDesktop::SetTrayAnimated(bool animated)
{
    m_tray.SetAnimated(animated);
}

void QtDesktop::SetTrayIconIndex(int index)
{
    m_tray.SetIconIndex(index);
}

void QtDesktop::ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon,
                            int timeoutMs)
{
    m_tray.ShowBalloon(Text(title), Text(text),
                       icon == BalloonIcon::Error ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information,
                       timeoutMs);
}

void QtDesktop::SetMonitoringItemEnabled(bool enabled)
{
    m_tray.SetMonitoringEnabled(enabled);
}

void QtDesktop::SetMonitoringItemChecked(bool checked)
{
    m_tray.SetMonitoringChecked(checked);
}

void QtDesktop::SetMonitoringItemImage(int image)
{
    // The picture follows the monitoring state, which a manual cycle outside the working
    // window can leave on while the item is unchecked.
    m_tray.SetMonitoringActive(image == 1); // image 1 of the menu list: monitoring on
}

void QtDesktop::SetCycleCommandsEnabled(bool enabled)
{
    m_tray.SetCycleCommandsEnabled(enabled);
}

bool QtDesktop::MonitoringItemChecked() const
{
    return m_tray.MonitoringChecked();
}

bool QtDesktop::MonitoringItemEnabled() const
{
    return m_tray.MonitoringEnabled();
}

std::unique_ptr<QMessageBox> QtDesktop::MakeMessageBox(const std::string& caption, const std::string& text,
                                                       MessageIcon icon)
{
    QMessageBox::Icon shown = QMessageBox::Information;
    switch (icon) {
    case MessageIcon::Error:
        shown = QMessageBox::Critical;
        break;
    case MessageIcon::Warning:
        shown = QMessageBox::Warning;
        break;
    case MessageIcon::Information:
        shown = QMessageBox::Information;
        break;
    }
    auto box = std::make_unique<QMessageBox>(shown, Text(caption), Text(text), QMessageBox::Ok);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The desktop theme's button pictures do not match the program's own.
    box->button(QMessageBox::Ok)->setIcon(QIcon());
    return box;
}

void QtDesktop::ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon)
{
    const std::unique_ptr<QMessageBox> box = MakeMessageBox(caption, text, icon);
    box->exec();
}

void QtDesktop::AppendMessageWindow(const std::string& text)
{
    m_messages.AppendBlock(Text(text));
}

void QtDesktop::ShowUnKnOwnFiles(const std::string& folder)
{
    m_unknownFiles.FillUnKnOwnList(Text(folder));
}

void QtDesktop::SetApplicationTitle(const std::string& title)
{
    // Kept, not made the display name: the desktop would append that to every window's
    // title, and the windows carry their own titles exactly.
    m_title = title;
}

} // namespace ornel
