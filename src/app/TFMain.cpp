#include "app/TFMain.h"

#include "automation/CycleAutomation.h"
#include "automation/Monitoring.h"
#include "automation/Schedule.h"
#include "automation/UnKnOwnWatch.h"
#include "engine/Counters.h"
#include "engine/CryptCall.h"
#include "engine/Desktop.h"
#include "engine/ExchangeCycle.h"
#include "engine/FileMoves.h"
#include "engine/FolderLayout.h"
#include "engine/Notifications.h"
#include "ftp/FtpGateScope.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/FolderWatcher.h"
#include "platform/SoundPlayer.h"
#include "platform/Timer.h"

#include <exception>

namespace ornel
{

TFMain::TFMain(FrontEnd frontEnd, StartupPaths paths)
    : m_frontEnd(std::move(frontEnd))
    , m_paths(std::move(paths))
    , m_log(m_frontEnd.desktop, m_frontEnd.clock, m_settings)
    , m_journal(m_frontEnd.clock,
                [this](const std::string& title) { m_frontEnd.desktop.SetApplicationTitle(title); })
    , m_timer1(m_frontEnd.makeTimer())
    , m_timer2(m_frontEnd.makeTimer())
    , m_timer3(m_frontEnd.makeTimer())
    , m_timer4(m_frontEnd.makeTimer())
    , m_folderMonitor(m_frontEnd.makeWatcher())
    , m_unknownMonitor(m_frontEnd.makeWatcher())
    , m_context{m_settings,         m_log,           m_journal,        m_ftp,
                m_frontEnd.desktop, m_frontEnd.loop, m_frontEnd.clock, m_frontEnd.registry,
                m_frontEnd.sound}
{
    m_layout = std::make_unique<FolderLayout>(m_context);
    m_notifications = std::make_unique<Notifications>(m_context);
    m_moves = std::make_unique<FileMoves>(m_context, *m_layout);
    m_counters = std::make_unique<Counters>(m_context);
    m_crypt = std::make_unique<CryptCall>(m_context, *m_moves, *m_notifications);
    MonitoringParts monitoringParts{*m_timer1, *m_timer2, *m_timer3, *m_folderMonitor};
    m_monitoring = std::make_unique<Monitoring>(m_context, monitoringParts);
    m_monitoring->SetRunSendReceive([this] { RunSendReceive(); });
    m_monitoring->SetRunReceiveSend([this] { RunReceiveSend(); });
    m_monitoring->SetPostBoxFileCount([this] { return m_moves->CountFiles(m_settings.PostBoxOut, false); });
    m_schedule = std::make_unique<Schedule>(m_context, *m_monitoring, *m_timer4);
    m_unknown = std::make_unique<UnKnOwnWatch>(m_context, *m_unknownMonitor, *m_notifications);
    m_cycleAutomation = std::make_unique<CycleAutomation>(*m_monitoring, *m_timer4, m_settings);
    m_cycle = std::make_unique<ExchangeCycle>(
        m_context, CycleParts{*m_layout, *m_moves, *m_crypt, *m_counters, *m_notifications},
        *m_cycleAutomation);
    m_cycle->BindFtpEvents();

    m_monitoring->SetOnImageChange([this](int image) { m_frontEnd.desktop.SetMonitoringItemImage(image); });
}

TFMain::~TFMain()
{
    // Watchers first: their threads hand notices to handlers that use the rest.
    m_unknownMonitor->SetActive(false);
    m_folderMonitor->SetActive(false);
}

void TFMain::FormCreate(Automation automation)
{
    m_log.Open(m_paths.logFolder);
    OpenJournal();
    m_log.AddLog(FormatDateTime("dd/mm/yyyy", m_frontEnd.clock.Now()));
    m_schedule->SetScheduleReadAt(0);
    // A setting that cannot be read stops the load at that value; the program still runs
    // with what it has, as it does after any other start-up failure that it reports.
    try {
        LoadSettings();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    if (automation == Automation::Off) {
        m_settings.AutoRun = false;
        m_folderMonitor->SetActive(false);
        m_unknownMonitor->SetActive(false);
        return;
    }
    try {
        m_schedule->CheckSchedule();
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
    if (!m_frontEnd.desktop.MonitoringItemChecked()) {
        m_monitoring->SetMonitoring(false);
    }
    m_timer4->SetEnabled(true);
}

void TFMain::OpenJournal()
{
    try {
        m_journal.Open(m_paths.journalFile);
    } catch (const std::exception& e) {
        ShowError(e.what());
    }
}

void TFMain::ShowError(const std::string& text)
{
    m_frontEnd.desktop.ShowMessageBox("Ошибка", text, MessageIcon::Error);
}

void TFMain::FormClose()
{
    m_timer1->SetEnabled(false);
    m_timer2->SetEnabled(false);
    m_timer3->SetEnabled(false);
    m_timer4->SetEnabled(false);
    m_unknownMonitor->SetActive(false);
    m_folderMonitor->SetActive(false);
    m_ftp.Disconnect();
    m_log.Close();
    m_journal.Close();
    // Stopping the sound cannot fail in a way that matters at exit.
    if (m_frontEnd.sound.Playing()) {
        m_frontEnd.sound.Stop();
    }
}

void TFMain::N4Click()
{
    RunSendReceive();
}

void TFMain::N2Click()
{
    RunReceiveSend();
}

void TFMain::N3Click(bool checked)
{
    m_monitoring->SetMonitoringWanted(checked);
}

bool TFMain::RunSendReceive()
{
    return RunCycle(&ExchangeCycle::RunSendReceive);
}

bool TFMain::RunReceiveSend()
{
    return RunCycle(&ExchangeCycle::RunReceiveSend);
}

bool TFMain::RunCycle(void (ExchangeCycle::*run)())
{
    if (m_cycle->Running()) {
        return false;
    }
    // The commands that would ask for another cycle are greyed while this one runs, and
    // come back however it ends.
    struct CycleCommands
    {
        explicit CycleCommands(Desktop& desktop)
            : m_desktop(desktop)
        {
            m_desktop.SetCycleCommandsEnabled(false);
        }
        ~CycleCommands() { m_desktop.SetCycleCommandsEnabled(true); }
        CycleCommands(const CycleCommands&) = delete;
        CycleCommands& operator=(const CycleCommands&) = delete;
        Desktop& m_desktop;
    };
    {
        const CycleCommands greyed(m_frontEnd.desktop);
        const FtpGateScope gated(m_ftp, m_ftpGate);
        ((*m_cycle).*run)();
    }
    AfterCycle();
    return true;
}

void TFMain::AfterCycle()
{
    if (m_onCycleFinished) {
        m_onCycleFinished();
    }
    if (m_onClosable) {
        auto onClosable = std::move(m_onClosable);
        m_onClosable = nullptr;
        onClosable();
    }
}

bool TFMain::RequestExit(std::function<void()> onClosable)
{
    if (!m_cycle->Running()) {
        return true;
    }
    const bool first = !m_onClosable;
    m_onClosable = std::move(onClosable);
    m_cycle->RequestStop();
    if (first) {
        try {
            m_log.AddLog("Выход: обмен будет остановлен после текущего файла");
        } catch (const std::exception&) {
            // the cycle meets the same log failure at its next line and reports it there
        }
    }
    return false;
}

bool TFMain::CycleRunning() const
{
    return m_cycle->Running();
}

bool TFMain::LastCycleFailed() const
{
    return m_cycle->LastCycleFailed();
}

bool TFMain::IsConnected() const
{
    return m_cycle->IsConnected();
}

void TFMain::ConnectFtp()
{
    m_cycle->ConnectFtp();
}

} // namespace ornel
