// The event log: every event of the program is one AddLog line, shown in the status
// window's protocol memo, appended to the daily log file and, when enabled, gathered into
// the tray balloon. Owned by TFMain; UI thread only.
#pragma once

#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>

namespace ornel {

class Clock;
class Desktop;
struct RuntimeSettings;

class EventLog
{
public:
    static constexpr const char* kBalloonTitle = "ORNEL_FTP. ФК \"Корви\"";
    // The balloon list never holds more than this, whatever the store says.
    static constexpr int kMaxHintLines = 20;

    EventLog(Desktop& desktop, const Clock& clock, const RuntimeSettings& settings);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Opens (appending) or creates "Log" + yyyymmdd + ".txt" in `folder`. Throws
    // std::runtime_error naming the file when it cannot be opened.
    void Open(const std::filesystem::path& folder);
    // Closes the file; throws when the last write fails.
    void Close();
    [[nodiscard]] bool IsOpen() const { return m_file != nullptr; }
    [[nodiscard]] const std::filesystem::path& FilePath() const { return m_path; }

    // Memo, file (Windows-1251, CR LF, flushed per line), balloon. Throws on a failed write,
    // after the memo has the line and before the balloon.
    void AddLog(const std::string& text);

    [[nodiscard]] const std::string& LastLogLine() const { return m_lastLogLine; }
    [[nodiscard]] const std::deque<std::string>& HintLines() const { return m_hintLines; }

    // Extra listener for every line (the console front ends echo to stdout).
    void SetEcho(std::function<void(const std::string&)> echo) { m_echo = std::move(echo); }

private:
    void UpdateBalloon();

    Desktop& m_desktop;
    const Clock& m_clock;
    const RuntimeSettings& m_settings;
    std::filesystem::path m_path;
    std::FILE* m_file = nullptr;
    std::string m_lastLogLine;
    std::deque<std::string> m_hintLines;
    std::function<void(const std::string&)> m_echo;
};

} // namespace ornel
