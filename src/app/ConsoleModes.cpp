// The front ends without a desktop: one cycle (--cycle), the service (--service) and the
// store tools (--init-journal, --import-reg, --export-reg).
#include "app/AgentLock.h"
#include "app/ConsoleDesktop.h"
#include "app/FrontEnds.h"
#include "app/Paths.h"
#include "app/SilentSoundPlayer.h"
#include "app/TFMain.h"
#include "platform/ConsoleEventLoop.h"
#include "platform/ConsoleTimer.h"
#include "platform/FolderWatcher.h"
#include "platform/InstanceLock.h"
#include "platform/PathText.h"
#include "platform/RegistryStore.h"
#include "platform/StopRequest.h"
#include "platform/SystemClock.h"
#include "settings/RegExchange.h"

#include <atomic>
#include <cstdio>
#include <exception>

namespace ornel
{

namespace
{

std::filesystem::path JournalPath(const CommandLine& line)
{
    return line.Journal.value_or(DefaultJournalFile());
}

// The store's lock for a front end that runs cycles; null (the message printed) when
// another agent holds it.
std::unique_ptr<InstanceLock> LockOrSay(const std::filesystem::path& storeFolder)
{
    std::int64_t holder = 0;
    auto lock = InstanceLock::TryAcquire(storeFolder, holder);
    if (!lock) {
        std::fprintf(stderr, "ornel_ftp: %s\n", AlreadyRunningText(storeFolder, holder).c_str());
    }
    return lock;
}

// Everything a headless controller runs on; lives as long as the controller.
struct ConsoleRig
{
    explicit ConsoleRig(const CommandLine& line)
        : registry(OpenSettingsStore(line.RegistryDir))
    {}

    FrontEnd MakeFrontEnd(EventLoop& eventLoop)
    {
        return FrontEnd{desktop,
                        eventLoop,
                        clock,
                        sound,
                        registry,
                        [this] { return std::make_unique<ConsoleTimer>(loop); },
                        [this] { return MakeFolderWatcher(loop); }};
    }

    RegistryStore registry;
    SystemClock clock;
    ConsoleDesktop desktop;
    SilentSoundPlayer sound;
    ConsoleEventLoop loop;
};

// The stop request (SIGTERM, SIGINT, the console's or the service manager's stop) only
// raises this flag; the loop below turns it into an exit request at the next point where
// events are served, which during a cycle is between two files.
std::atomic<bool> g_stopSignal{false};

void OnStopRequest()
{
    g_stopSignal.store(true);
}

// The service's event loop: the console loop, plus the check for a stop signal wherever
// events are served, so a running cycle hears it too.
class ServiceEventLoop final : public EventLoop
{
public:
    explicit ServiceEventLoop(ConsoleEventLoop& inner)
        : m_inner(inner)
    {}

    void SetOnStop(std::function<void()> onStop) { m_onStop = std::move(onStop); }

    void ProcessPendingEvents() override
    {
        CheckStop();
        m_inner.ProcessPendingEvents();
    }
    void Sleep(std::chrono::milliseconds duration) override { m_inner.Sleep(duration); }
    void WaitForEvents(std::chrono::milliseconds timeout) override
    {
        CheckStop();
        m_inner.WaitForEvents(timeout);
    }
    bool RunOnUiThreadAndWait(const std::function<void()>& work) override
    {
        return m_inner.RunOnUiThreadAndWait(work);
    }

    void CheckStop()
    {
        if (g_stopSignal.load() && !m_stopSeen) {
            m_stopSeen = true;
            if (m_onStop) {
                m_onStop();
            }
        }
    }

private:
    ConsoleEventLoop& m_inner;
    std::function<void()> m_onStop;
    bool m_stopSeen = false;
};

} // namespace

int RunInitJournal(const CommandLine& line)
{
    const std::filesystem::path file = line.File.empty() ? JournalPath(line) : line.File;
    Journal::Create(file);
    ShareWithFolderGroup(file);
    std::printf("Journal created: %s\n", PathToUtf8(file).c_str());
    return 0;
}

int RunImportReg(const CommandLine& line)
{
    RegistryStore registry = OpenSettingsStore(line.RegistryDir);
    const ImportReport report = ImportRegistry(registry, line.File);
    std::printf("Imported %d values from %s into %s\n", report.Imported, PathToUtf8(line.File).c_str(),
                registry.Location().c_str());
    for (const auto& name : report.Skipped) {
        std::printf("Skipped unknown value %s\n", name.c_str());
    }
    for (const auto& notice : report.Notices) {
        std::fprintf(stderr, "ornel_ftp: %s\n", notice.c_str());
    }
    return 0;
}

int RunExportReg(const CommandLine& line)
{
    RegistryStore registry = OpenSettingsStore(line.RegistryDir);
    ExportRegistry(registry, line.File);
    std::printf("Exported the settings and counters to %s\n", PathToUtf8(line.File).c_str());
    return 0;
}

int RunConsoleCycle(const CommandLine& line)
{
    const auto lock = LockOrSay(ResolveStoreFolders(line.RegistryDir).Machine);
    if (!lock) {
        return kExitAlreadyRunning;
    }
    ConsoleRig rig(line);
    TFMain main(rig.MakeFrontEnd(rig.loop), StartupPaths{LogFolder(), JournalPath(line)});
    try {
        main.FormCreate(TFMain::Automation::Off);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ornel_ftp: %s\n", e.what());
        return 1;
    }
    if (line.Mode == RunMode::CycleSendReceive) {
        main.RunSendReceive();
    } else {
        main.RunReceiveSend();
    }
    const bool failed = main.LastCycleFailed();
    main.FormClose();
    return failed ? 1 : 0;
}

namespace
{

int RunServiceHere(const CommandLine& line)
{
    const auto lock = LockOrSay(ResolveStoreFolders(line.RegistryDir).Machine);
    if (!lock) {
        return kExitAlreadyRunning;
    }
    ConsoleRig rig(line);
    ServiceEventLoop loop(rig.loop);
    TFMain main(rig.MakeFrontEnd(loop), StartupPaths{LogFolder(), JournalPath(line)});

    InstallStopRequestHandler(&OnStopRequest);

    try {
        main.FormCreate();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ornel_ftp: %s\n", e.what());
        return 1;
    }
    loop.SetOnStop([&main, &rig] {
        if (main.RequestExit([&rig] { rig.loop.Quit(); })) {
            rig.loop.Quit();
        }
    });
    // While idle nothing else serves events often; a short timer looks for the signal.
    ConsoleTimer stopCheck(rig.loop);
    stopCheck.SetOnTimer([&loop] { loop.CheckStop(); });
    stopCheck.SetInterval(std::chrono::milliseconds(200));
    stopCheck.SetEnabled(true);
    rig.loop.Run();
    main.FormClose();
    std::printf("Ornel FTP service stopped\n");
    return 0;
}

} // namespace

int RunService(const CommandLine& line)
{
    return RunAsSystemService([&line] { return RunServiceHere(line); });
}

} // namespace ornel
