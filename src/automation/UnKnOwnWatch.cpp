#include "automation/UnKnOwnWatch.h"

#include "engine/Desktop.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/FolderLayout.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/FolderWatcher.h"
#include "platform/PathText.h"
#include "settings/RuntimeSettings.h"

namespace ornel
{

UnKnOwnWatch::UnKnOwnWatch(FolderWatcher& watcher, EventLog& log, const Clock& clock,
                           RuntimeSettings& settings, Desktop& desktop, PlaySound playSound)
    : m_watcher(watcher)
    , m_log(log)
    , m_clock(clock)
    , m_settings(settings)
    , m_desktop(desktop)
    , m_playSound(std::move(playSound))
{
    m_watcher.SetFilter(WatchFilter::Size);
    m_watcher.SetMonitorSubtree(true);
    m_watcher.SetOnChange([this] { UnKnOwnFolderMonitoringChange(); });
}

UnKnOwnWatch::UnKnOwnWatch(EngineContext& context, FolderWatcher& watcher, Notifications& notifications)
    : UnKnOwnWatch(watcher, context.log, context.clock, context.settings, context.desktop,
                   [&notifications](SoundEvent event) { notifications.PlayNotification(event); })
{}

UnKnOwnWatch::~UnKnOwnWatch()
{
    m_watcher.SetOnChange({});
}

void UnKnOwnWatch::SetUnKnOwnFolder(const std::string& path)
{
    // Without a root there is no day folder: "" + "/" + date would name a folder at the
    // top of the file system.
    const std::string dayFolder = path.empty() ? std::string()
                                               : FolderLayout::WithoutTrailingDelim(path) + kPathDelim +
                                                     FormatDateTime("yyyymmdd", m_clock.Now());
    if (m_watching) {
        m_watcher.SetActive(false);
        m_dayFolder = dayFolder;
        m_watcher.SetFolderName(PathFromUtf8(m_dayFolder));
        m_watcher.SetActive(true);
    } else {
        m_dayFolder = dayFolder;
        m_watcher.SetFolderName(PathFromUtf8(m_dayFolder));
    }
}

void UnKnOwnWatch::SetUnKnOwnMonitoring(bool on)
{
    m_watching = on;
    m_settings.UnKnOwnMonitoring = on;
    m_watcher.SetActive(on);
}

void UnKnOwnWatch::UnKnOwnFolderMonitoringChange()
{
    AlertUnKnOwnFiles();
}

void UnKnOwnWatch::AlertUnKnOwnFiles()
{
    if (m_playSound) {
        m_playSound(SoundEvent::UnKnOwnFiles);
    }
    m_log.AddLog(FormatDateTime("dd/mm/yyyy hh:nn:ss", m_clock.Now()) +
                 " В папке UnKnOwn обнаруженны файлы!");
    if (m_settings.WindowUnknown) {
        m_desktop.ShowUnKnOwnFiles(m_dayFolder);
    }
}

} // namespace ornel
