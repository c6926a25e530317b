#include "engine/EventLog.h"

#include "engine/Desktop.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "settings/RuntimeSettings.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace ornel {

EventLog::EventLog(Desktop& desktop, const Clock& clock, const RuntimeSettings& settings)
    : m_desktop(desktop)
    , m_clock(clock)
    , m_settings(settings)
{
}

EventLog::~EventLog()
{
    if (m_file != nullptr) {
        std::fclose(m_file); // destructor: a failed final close cannot be reported any more
    }
}

void EventLog::Open(const std::filesystem::path& folder)
{
    m_path = folder / PathFromUtf8("Log" + FormatDateTime("yyyymmdd", m_clock.Now()) + ".txt");
    m_file = OpenCFile(m_path, "ab");
    if (m_file == nullptr) {
        throw std::runtime_error("Cannot open the log file " + PathToUtf8(m_path) + ": " + std::strerror(errno));
    }
}

void EventLog::Close()
{
    if (m_file == nullptr) {
        return;
    }
    std::FILE* file = m_file;
    m_file = nullptr;
    if (std::fclose(file) != 0) {
        throw std::runtime_error("Cannot close the log file " + PathToUtf8(m_path) + ": " + std::strerror(errno));
    }
}

void EventLog::AddLog(const std::string& text)
{
    m_lastLogLine = text;
    m_desktop.AppendProtocolLine(m_lastLogLine);
    if (m_echo) {
        m_echo(m_lastLogLine);
    }
    if (m_file == nullptr) {
        throw std::runtime_error("The log file is not open");
    }
    // The log is the only record of what happened: every line goes to the disk at once,
    // so a crash never loses the end of it. A character with no Windows-1251 form is
    // written as "?" here rather than losing the whole line.
    const std::string line = Utf8ToCp1251Lossy(m_lastLogLine) + "\r\n";
    if (std::fwrite(line.data(), 1, line.size(), m_file) != line.size() || std::fflush(m_file) != 0) {
        throw std::runtime_error("Cannot write the log file " + PathToUtf8(m_path) + ": " + std::strerror(errno));
    }
    if (m_settings.ShowBallonHint) {
        UpdateBalloon();
    }
}

void EventLog::UpdateBalloon()
{
    // The stored line count is only checked by the options dialog; a store edited by hand
    // may hold anything, so the list is kept between 1 and kMaxHintLines long.
    int limit = m_settings.BallonHintCountLines;
    if (limit < 1) {
        limit = 1;
    } else if (limit > kMaxHintLines) {
        limit = kMaxHintLines;
    }
    while (static_cast<int>(m_hintLines.size()) >= limit) {
        m_hintLines.pop_front();
    }
    m_hintLines.push_back(m_lastLogLine);
    std::string joined;
    for (const auto& l : m_hintLines) {
        joined += l;
        joined += "\r\n";
    }
    if (joined.find("Ошибка:") != std::string::npos) {
        m_desktop.ShowBalloon(kBalloonTitle, joined, BalloonIcon::Error, 6000);
    } else {
        m_desktop.ShowBalloon(kBalloonTitle, joined, BalloonIcon::Info, 5000);
    }
}

} // namespace ornel
