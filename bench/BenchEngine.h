// The agent's engine as the benchmark drives it: real folders, log, journal, settings store
// and FTP client, no encryption, no sounds, no automation; the FTP client's calls go through
// a gate that times them, so the network's share of a cycle is measured inside the cycle.
#pragma once

#include "app/SilentSoundPlayer.h"
#include "engine/AutomationControl.h"
#include "engine/Counters.h"
#include "engine/CryptCall.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/ExchangeCycle.h"
#include "engine/FileMoves.h"
#include "engine/FolderLayout.h"
#include "engine/Notifications.h"
#include "ftp/FtpCallGate.h"
#include "ftp/FtpClient.h"
#include "journal/Journal.h"
#include "platform/EventLoop.h"
#include "platform/RegistryStore.h"
#include "platform/SoundPlayer.h"
#include "platform/SystemClock.h"
#include "settings/RuntimeSettings.h"
#include "support/RecordingDesktop.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace ornel::bench
{

class BenchLoop final : public EventLoop
{
public:
    void ProcessPendingEvents() override {}
    // The cycle's fixed pause between its halves is left out of the figures.
    void Sleep(std::chrono::milliseconds /*duration*/) override {}
    void WaitForEvents(std::chrono::milliseconds timeout) override;
    bool RunOnUiThreadAndWait(const std::function<void()>& work) override
    {
        work();
        return true;
    }
};

class NoAutomation final : public AutomationControl
{
public:
    void SuspendForCycle() override {}
    void ResumeAfterCycle() override {}
};

// Runs each network operation of the client on the calling thread and adds up its time.
class TimingGate final : public FtpCallGate
{
public:
    [[nodiscard]] bool OnCallThread() const override { return m_inside; }
    void Run(const std::function<void()>& operation) override;
    void Deliver(const std::function<void()>& event) override { event(); }
    void Post(std::function<void()> progress) override { progress(); }

    [[nodiscard]] double Seconds() const { return m_seconds; }

private:
    bool m_inside = false;
    double m_seconds = 0;
};

struct BenchEngine
{
    // An agent working in `base` against the server's directories `ftpIn` and `ftpOut`.
    BenchEngine(const std::filesystem::path& base, int port, const std::string& user,
                const std::string& password, const std::string& ftpIn, const std::string& ftpOut);
    ~BenchEngine();

    RuntimeSettings settings;
    SystemClock clock;
    BenchLoop loop;
    test::RecordingDesktop desktop;
    SilentSoundPlayer sound;
    EventLog log{desktop, clock, settings};
    Journal journal{clock, [](const std::string&) {}};
    FtpClient ftp;
    TimingGate gate;
    RegistryStore registry;
    EngineContext ctx{settings, log, journal, ftp, desktop, loop, clock, registry, sound};
    FolderLayout layout{ctx};
    FileMoves moves{ctx, layout};
    Notifications notifications{ctx};
    CryptCall crypt{ctx, moves, notifications};
    Counters counters{ctx};
    NoAutomation automation;
    ExchangeCycle cycle{ctx, CycleParts{layout, moves, crypt, counters, notifications}, automation};
};

} // namespace ornel::bench
