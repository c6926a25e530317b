// The tray application's Desktop: routes what the core shows to the tray icon, the status
// window and the two alert windows, and shows message boxes on top of everything. Owned
// by the controller, which also owns the windows it refers to; UI thread only.
#pragma once

#include "engine/Desktop.h"

#include <QMessageBox>
#include <memory>

namespace ornel
{

class TFMess;
class TFUStatus;
class TFUnkNownFiles;
class TrayIcon;

class QtDesktop final : public Desktop
{
public:
    QtDesktop(TrayIcon& tray, TFUStatus& status, TFMess& messages, TFUnkNownFiles& unknownFiles);

    void AppendProtocolLine(const std::string& line) override;
    void SetProgressRange(std::int64_t maximum) override;
    void SetProgressPosition(std::int64_t position) override;
    void SetTrayAnimated(bool animated) override;
    void SetTrayIconIndex(int index) override;
    void ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon,
                     int timeoutMs) override;
    void SetMonitoringItemEnabled(bool enabled) override;
    void SetMonitoringItemChecked(bool checked) override;
    void SetMonitoringItemImage(int image) override;
    void SetCycleCommandsEnabled(bool enabled) override;
    [[nodiscard]] bool MonitoringItemChecked() const override;
    [[nodiscard]] bool MonitoringItemEnabled() const override;
    void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void AppendMessageWindow(const std::string& text) override;
    void ShowUnKnOwnFiles(const std::string& folder) override;
    void SetApplicationTitle(const std::string& title) override;
    [[nodiscard]] std::string ApplicationTitle() const override { return m_title; }

    // The box ShowMessageBox runs: application-modal, above every other window.
    [[nodiscard]] static std::unique_ptr<QMessageBox>
    MakeMessageBox(const std::string& caption, const std::string& text, MessageIcon icon);

private:
    TrayIcon& m_tray;
    TFUStatus& m_status;
    TFMess& m_messages;
    TFUnkNownFiles& m_unknownFiles;
    std::string m_title = "Ornel FTP";
};

} // namespace ornel
