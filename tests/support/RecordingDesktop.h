// A Desktop that records what would have been shown, for tests of the core.
#pragma once

#include "engine/Desktop.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ornel::test {

struct RecordedBalloon
{
    std::string Title;
    std::string Text;
    BalloonIcon Icon;
    int TimeoutMs;
};

struct RecordedBox
{
    std::string Caption;
    std::string Text;
    MessageIcon Icon;
};

class RecordingDesktop final : public Desktop
{
public:
    void AppendProtocolLine(const std::string& line) override { ProtocolLines.push_back(line); }
    void SetProgressRange(std::int64_t maximum) override { ProgressMax = maximum; }
    void SetProgressPosition(std::int64_t position) override;
    void SetTrayAnimated(bool animated) override;
    void SetTrayIconIndex(int index) override { TrayIconIndex = index; }
    void ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon,
                     int timeoutMs) override;
    void SetMonitoringItemEnabled(bool enabled) override { MonitoringEnabled = enabled; }
    void SetMonitoringItemChecked(bool checked) override { MonitoringChecked = checked; }
    [[nodiscard]] bool MonitoringItemChecked() const override { return MonitoringChecked; }
    [[nodiscard]] bool MonitoringItemEnabled() const override { return MonitoringEnabled; }
    void SetMonitoringItemImage(int image) override { MonitoringImage = image; }
    void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override;
    void AppendMessageWindow(const std::string& text) override;
    void ShowUnKnOwnFiles(const std::string& folder) override { UnKnOwnListShown.push_back(folder); }
    void SetApplicationTitle(const std::string& title) override;
    [[nodiscard]] std::string ApplicationTitle() const override { return Title; }

    std::vector<std::string> ProtocolLines;
    std::int64_t ProgressMax = 0;
    std::int64_t ProgressPosition = 0;
    std::vector<std::int64_t> ProgressPositions;
    bool Animated = false;
    std::vector<bool> AnimationChanges;
    int TrayIconIndex = 0;
    std::vector<RecordedBalloon> Balloons;
    bool MonitoringEnabled = true;
    bool MonitoringChecked = false;
    int MonitoringImage = 9;
    std::vector<RecordedBox> Boxes;
    std::vector<std::string> MessageWindowBlocks;
    std::vector<std::string> UnKnOwnListShown;
    std::string Title = "Ornel FTP";
    std::vector<std::string> Titles;
};

} // namespace ornel::test
