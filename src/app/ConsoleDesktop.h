// The desktop of the headless front ends (--cycle, --service): protocol lines go to
// stdout, message boxes to stderr, everything else is only remembered. UI thread only.
#pragma once

#include "engine/Desktop.h"

#include <cstdint>
#include <string>

namespace ornel
{

class ConsoleDesktop final : public Desktop
{
public:
    void AppendProtocolLine(const std::string& line) override;
    void SetProgressRange(std::int64_t) override {}
    void SetProgressPosition(std::int64_t) override {}
    void SetTrayAnimated(bool) override {}
    void SetTrayIconIndex(int) override {}
    void ShowBalloon(const std::string&, const std::string&, BalloonIcon, int) override {}
    void SetMonitoringItemEnabled(bool enabled) override { m_monitoringEnabled = enabled; }
    void SetMonitoringItemChecked(bool checked) override { m_monitoringChecked = checked; }
    [[nodiscard]] bool MonitoringItemChecked() const override { return m_monitoringChecked; }
    [[nodiscard]] bool MonitoringItemEnabled() const override { return m_monitoringEnabled; }
    void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void AppendMessageWindow(const std::string& text) override;
    void ShowUnKnOwnFiles(const std::string& folder) override;
    void SetApplicationTitle(const std::string& title) override { m_title = title; }
    [[nodiscard]] std::string ApplicationTitle() const override { return m_title; }

private:
    bool m_monitoringEnabled = true;
    bool m_monitoringChecked = false;
    std::string m_title = "Ornel FTP";
};

} // namespace ornel
