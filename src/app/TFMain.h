// The main controller: owns every long-lived component (FTP client, timers, watchers,
// journal, log, settings record), runs start-up and shut-down, and turns menu commands,
// timer ticks and watcher notices into engine operations. Created by a front end (tray,
// --cycle, --service) with that front end's desktop, loop and timers; UI thread only.
#pragma once

#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "ftp/FtpClient.h"
#include "journal/Journal.h"
#include "settings/RuntimeSettings.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace ornel
{

class Clock;
class CycleAutomation;
class Counters;
class CryptCall;
class Desktop;
class EventLoop;
class FtpCallGate;
class ExchangeCycle;
class FileMoves;
class FolderLayout;
class FolderWatcher;
class Monitoring;
class Notifications;
class RegistryStore;
class Schedule;
class SoundPlayer;
class Timer;
class UnKnOwnWatch;

// What a front end hands the controller.
struct FrontEnd
{
    Desktop& desktop;
    EventLoop& loop;
    const Clock& clock;
    SoundPlayer& sound;
    RegistryStore& registry;
    std::function<std::unique_ptr<Timer>()> makeTimer;
    std::function<std::unique_ptr<FolderWatcher>()> makeWatcher;
};

struct StartupPaths
{
    std::filesystem::path logFolder;   // where the daily log is written
    std::filesystem::path journalFile; // the journal database
};

class TFMain final
{
public:
    static constexpr const char* kApplicationTitle = "Ornel FTP";
    static constexpr const char* kOptionsKey = "SOFTWARE\\RUX\\ORNEL_FTP\\Options";

    TFMain(FrontEnd frontEnd, StartupPaths paths);
    ~TFMain();
    TFMain(const TFMain&) = delete;
    TFMain& operator=(const TFMain&) = delete;

    enum class Automation
    {
        On,  // the tray and the service: schedule, monitoring and their timers
        Off, // one cycle from the command line: nothing starts a cycle by itself
    };

    // Start-up. Throws when the daily log cannot be opened; nothing else has been touched
    // then. Other start-up failures are shown in the "Ошибка" box and start-up goes on.
    void FormCreate(Automation automation = Automation::On);
    // Shut-down. Throws when closing the log fails.
    void FormClose();

    // Menu commands and the tray.
    void N4Click();             // "Передать/Принять"
    void N2Click();             // "Принять/Передать"
    void N3Click(bool checked); // "Мониторинг", with the item's new check state
    // "Выход": true when the program may close now; during a cycle the cycle is asked to
    // stop at its next safe point and `onClosable` runs once it has ended.
    bool RequestExit(std::function<void()> onClosable);

    // The exchange cycles; a request while a cycle runs is refused (returns false).
    bool RunSendReceive();
    bool RunReceiveSend();
    [[nodiscard]] bool CycleRunning() const;
    // Whether the last cycle wrote an "Ошибка: " line.
    [[nodiscard]] bool LastCycleFailed() const;
    // Runs after every cycle (the status window reads the journal again).
    void SetOnCycleFinished(std::function<void()> onFinished) { m_onCycleFinished = std::move(onFinished); }
    // The tray application runs the FTP client's operations of a cycle through `gate`, so
    // its desktop stays alive meanwhile; null (the console front ends) runs them here.
    void SetFtpCallGate(FtpCallGate* gate) { m_ftpGate = gate; }

    void LoadSettings();
    void ApplyProxySettings(bool useProxy, int proxyRow, const std::string& host, int port,
                            const std::string& user, const std::string& password);
    [[nodiscard]] std::string EncryptSecret(const std::string& text) const;
    [[nodiscard]] std::string DecryptSecret(const std::string& stored) const;
    // The connection test of the options dialog: sets the client up and connects.
    void ConnectFtp();

    // Setters: every setting reaches the controller through one of these.
    void SetIP(const std::string& value);
    void SetPort(int value);
    void SetUser(const std::string& value);
    void SetPassword(const std::string& value);
    void SetPassive(bool value);
    void SetInterval(int minutes);
    void SetPause(int seconds);
    void SetFtpOut(const std::string& value);
    void SetFtpIn(const std::string& value);
    void SetTempSend(const std::string& value);
    void SetTempReciv(const std::string& value);
    void SetArcSend(const std::string& value);
    void SetArcReciv(const std::string& value);
    void SetArcSend2(const std::string& value);
    void SetArcReciv2(const std::string& value);
    void SetPostBoxOut(const std::string& value);
    void SetPostBoxIn(const std::string& value);
    void SetUnKnOwn(const std::string& value);
    void SetUnKnOwnMonitoring(bool value);
    void SetERRMonitoring(bool value);
    void SetCryptProgNew(const std::string& value);
    void SetPIN(const std::string& value);
    void SetUPIN(const std::string& value);
    void SetKodSend(const std::string& value);
    void SetWindowType(int value);
    void SetPlaySound(bool value);
    void SetPlaySoundFTP(bool value);
    void SetPlaySoundERR(bool value);
    void SetPlaySoundUnknown(bool value);
    void SetPlayStart(const std::string& value);
    void SetPlayFTP(const std::string& value);
    void SetPlayERR(const std::string& value);
    void SetPlayUnknown(const std::string& value);
    void SetSoundOFF(bool value);
    void SetWindowUnknown(bool value);
    void SetWindowERR(bool value);
    void SetERRExt(const std::string& value);
    void SetShowBallonHint(bool value);
    void SetBallonHintCountLines(int value);
    void SetNotUseCrypt(bool value);
    void SetAutoRun(bool value) { m_settings.AutoRun = value; }

    [[nodiscard]] const RuntimeSettings& Settings() const { return m_settings; }
    [[nodiscard]] EventLog& Log() { return m_log; }
    [[nodiscard]] Journal& JournalStore() { return m_journal; }
    [[nodiscard]] FtpClient& Ftp() { return m_ftp; }
    [[nodiscard]] Schedule& WorkSchedule() { return *m_schedule; }
    [[nodiscard]] Monitoring& AutoMonitoring() { return *m_monitoring; }
    [[nodiscard]] Timer& Timer4() { return *m_timer4; }
    [[nodiscard]] bool IsConnected() const;
    [[nodiscard]] bool ProxyEnabled() const { return m_proxyEnabled; }
    [[nodiscard]] Desktop& DesktopView() { return m_frontEnd.desktop; }
    [[nodiscard]] RegistryStore& Registry() { return m_frontEnd.registry; }

private:
    void OpenJournal();
    void ShowError(const std::string& text);
    bool RunCycle(void (ExchangeCycle::*run)());
    void AfterCycle();

    FrontEnd m_frontEnd;
    StartupPaths m_paths;
    RuntimeSettings m_settings;
    EventLog m_log;
    Journal m_journal;
    FtpClient m_ftp;
    bool m_proxyEnabled = false;
    std::function<void()> m_onClosable;
    FtpCallGate* m_ftpGate = nullptr;
    std::function<void()> m_onCycleFinished;

    std::unique_ptr<Timer> m_timer1;
    std::unique_ptr<Timer> m_timer2;
    std::unique_ptr<Timer> m_timer3;
    std::unique_ptr<Timer> m_timer4;
    std::unique_ptr<FolderWatcher> m_folderMonitor;
    std::unique_ptr<FolderWatcher> m_unknownMonitor;

    EngineContext m_context;
    std::unique_ptr<FolderLayout> m_layout;
    std::unique_ptr<Notifications> m_notifications;
    std::unique_ptr<FileMoves> m_moves;
    std::unique_ptr<Counters> m_counters;
    std::unique_ptr<CryptCall> m_crypt;
    std::unique_ptr<ExchangeCycle> m_cycle;
    std::unique_ptr<Monitoring> m_monitoring;
    std::unique_ptr<Schedule> m_schedule;
    std::unique_ptr<UnKnOwnWatch> m_unknown;
    std::unique_ptr<CycleAutomation> m_cycleAutomation;
};

} // namespace ornel
