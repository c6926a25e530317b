// Watches today's subfolder of the UnKnOwn folder, which software outside the program
// fills, and alerts on every change: sound, log line and, with WindowUnknown, the file
// list window. Owned by TFMain; UI thread only.
//
// Wiring: UnKnOwnWatch(context, *unknownMonitor, notifications) takes the watcher's change
// handler; the setters of UnKnOwn and UnKnOwnMonitoring call SetUnKnOwnFolder and
// SetUnKnOwnMonitoring, the folder first.
#pragma once

#include "engine/Notifications.h"

#include <functional>
#include <string>

namespace ornel
{

class Clock;
class Desktop;
class EventLog;
class FolderWatcher;
struct EngineContext;
struct RuntimeSettings;

class UnKnOwnWatch
{
public:
    using PlaySound = std::function<void(SoundEvent)>;

    UnKnOwnWatch(FolderWatcher& watcher, EventLog& log, const Clock& clock, RuntimeSettings& settings,
                 Desktop& desktop, PlaySound playSound);
    UnKnOwnWatch(EngineContext& context, FolderWatcher& watcher, Notifications& notifications);
    ~UnKnOwnWatch();
    UnKnOwnWatch(const UnKnOwnWatch&) = delete;
    UnKnOwnWatch& operator=(const UnKnOwnWatch&) = delete;

    // The day folder is fixed here, from today's date: it does not move on at midnight.
    // An empty path watches nothing.
    void SetUnKnOwnFolder(const std::string& path);
    void SetUnKnOwnMonitoring(bool on);

    void UnKnOwnFolderMonitoringChange();
    void AlertUnKnOwnFiles();

    [[nodiscard]] const std::string& UnKnOwnDayFolder() const { return m_dayFolder; }
    [[nodiscard]] bool Watching() const { return m_watching; }

private:
    FolderWatcher& m_watcher;
    EventLog& m_log;
    const Clock& m_clock;
    RuntimeSettings& m_settings;
    Desktop& m_desktop;
    PlaySound m_playSound;
    std::string m_dayFolder;
    bool m_watching = false;
};

} // namespace ornel
