// A complete engine around one ExchangeCycle for the cycle tests: real folders, log file,
// journal file, settings store and FTP client; fake clock, event loop, desktop, sound and
// automation. Single-threaded.
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
#include "ftp/FtpClient.h"
#include "journal/Journal.h"
#include "platform/RegistryStore.h"
#include "settings/RuntimeSettings.h"
#include "support/FakeClock.h"
#include "support/FakeEventLoop.h"
#include "support/RecordingDesktop.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ornel::test
{

// Records the cycle's calls and writes the monitoring lines the real automation writes.
class RecordingAutomation final : public AutomationControl
{
public:
    RecordingAutomation(EventLog& log, const Clock& clock)
        : m_log(log)
        , m_clock(clock)
    {}
    void SuspendForCycle() override;
    void ResumeAfterCycle() override;

    std::vector<std::string> Calls;
    bool AutoRun = false;

private:
    EventLog& m_log;
    const Clock& m_clock;
};

class CycleFixture
{
public:
    CycleFixture();
    ~CycleFixture();

    // Server address and login; passive mode.
    void UseServer(int port, const std::string& user = "user", const std::string& password = "pass");
    // The reference encryption program instead of plain moves.
    void UseCrypt();

    // Files of a folder, sorted, without subfolders.
    [[nodiscard]] static std::vector<std::string> FilesIn(const std::filesystem::path& folder);
    // Every protocol line of the run so far.
    [[nodiscard]] const std::vector<std::string>& Lines() const { return desktop.ProtocolLines; }
    [[nodiscard]] bool Logged(const std::string& line) const;
    [[nodiscard]] int IndexOf(const std::string& line) const;
    [[nodiscard]] std::string LogText() const;
    [[nodiscard]] std::string Today() const;

    TempFolder root;
    std::filesystem::path postBoxOut, postBoxIn, tempSend, tempReciv, arcSend, arcReciv, arcSend2, arcReciv2;
    RuntimeSettings settings;
    FakeClock clock;
    FakeEventLoop loop{&clock};
    RecordingDesktop desktop;
    SilentSoundPlayer sound;
    EventLog log{desktop, clock, settings};
    Journal journal{clock, [](const std::string&) {}};
    FtpClient ftp;
    RegistryStore registry{root.Path() / "registry"};
    EngineContext ctx{settings, log, journal, ftp, desktop, loop, clock, registry, sound};
    FolderLayout layout{ctx};
    FileMoves moves{ctx, layout};
    Notifications notifications{ctx};
    CryptCall crypt{ctx, moves, notifications};
    Counters counters{ctx};
    RecordingAutomation automation{log, clock};
    ExchangeCycle cycle{ctx, CycleParts{layout, moves, crypt, counters, notifications}, automation};
};

} // namespace ornel::test
