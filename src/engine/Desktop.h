// Everything a person sees, as the controller and the engine drive it. The tray
// application implements it with Qt, the console front ends print, tests record.
// Called on the UI thread only. Methods added later get an empty default body so that
// every implementation keeps compiling.
#pragma once

#include <cstdint>
#include <string>

namespace ornel {

enum class BalloonIcon
{
    Info,
    Error,
};

enum class MessageIcon
{
    Error,
    Warning,
    Information,
};

class Desktop
{
public:
    virtual ~Desktop() = default;

    // One event-log line for the status window's protocol memo (may hold line breaks).
    virtual void AppendProtocolLine(const std::string& line) = 0;

    // The status window's progress bar. Values are 64-bit; a widget that holds only
    // 32-bit values scales them.
    virtual void SetProgressRange(std::int64_t maximum) = 0;
    virtual void SetProgressPosition(std::int64_t position) = 0;

    // Tray icon: animation during a cycle, and the frame shown when it stops.
    virtual void SetTrayAnimated(bool animated) = 0;
    virtual void SetTrayIconIndex(int index) = 0;

    // Cancels the balloon on show and shows a new one.
    virtual void ShowBalloon(const std::string& title, const std::string& text, BalloonIcon icon,
                             int timeoutMs) = 0;

    // The "Мониторинг" menu item (check item).
    virtual void SetMonitoringItemEnabled(bool enabled) = 0;
    virtual void SetMonitoringItemChecked(bool checked) = 0;
    [[nodiscard]] virtual bool MonitoringItemChecked() const = 0;
    [[nodiscard]] virtual bool MonitoringItemEnabled() const = 0;
    // The item's picture: image 1 of the menu list while monitoring runs, 9 while it does
    // not (it follows the monitoring state, the check mark follows the user's choice).
    virtual void SetMonitoringItemImage(int /*image*/) {}

    // The two cycle commands ("Передать/Принять", "Принять/Передать"): greyed while a
    // cycle runs.
    virtual void SetCycleCommandsEnabled(bool /*enabled*/) {}

    // A modal message box on top of every window; returns when it is closed.
    virtual void ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon icon) = 0;

    // The message window: appends the text lines (one block) and shows it, not modal.
    virtual void AppendMessageWindow(const std::string& text) = 0;

    // The UnKnOwn file list window: lists the folder's files and shows it, not modal.
    virtual void ShowUnKnOwnFiles(const std::string& folder) = 0;

    // The application title (shown by the task switcher while a long step runs).
    virtual void SetApplicationTitle(const std::string& title) = 0;
    [[nodiscard]] virtual std::string ApplicationTitle() const = 0;
};

} // namespace ornel
