// An engine context around the file helpers for their tests: real folders, log file,
// journal file and settings store; fake clock, event loop, desktop and sound player.
#pragma once

#include "engine/Counters.h"
#include "engine/CryptCall.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "engine/FileMoves.h"
#include "engine/FolderLayout.h"
#include "engine/Notifications.h"
#include "ftp/FtpClient.h"
#include "journal/Journal.h"
#include "platform/DateTime.h"
#include "platform/PathText.h"
#include "platform/RegistryStore.h"
#include "platform/SoundPlayer.h"
#include "settings/RuntimeSettings.h"
#include "support/FakeClock.h"
#include "support/FakeEventLoop.h"
#include "support/RecordingDesktop.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace ornel::test
{

class RecordingSound final : public SoundPlayer
{
public:
    void PlayFile(const std::filesystem::path& file) override
    {
        Calls.push_back("play " + file.string());
        IsPlaying = true;
    }
    [[nodiscard]] bool Playing() const override { return IsPlaying; }
    void Stop() override
    {
        Calls.push_back("stop");
        IsPlaying = false;
    }
    void Beep(int frequencyHz, std::chrono::milliseconds duration) override
    {
        Calls.push_back("beep " + std::to_string(frequencyHz) + " " + std::to_string(duration.count()));
    }

    std::vector<std::string> Calls;
    bool IsPlaying = false;
};

// Whether a process (not necessarily a child of ours) is gone, or a zombie nobody has reaped
// yet: either way it runs no more. Waits up to two seconds for that.
inline bool RunsNoMore(int pid)
{
    for (int i = 0; i < 400; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto nameEnd = text.rfind(')');
        if (text.empty() || (nameEnd != std::string::npos && text.compare(nameEnd + 1, 2, " Z") == 0)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// 8 December 2026 14:05:09.123, the moment every dated name in these tests carries.
inline double TestMoment()
{
    return EncodeDateTime({2026, 12, 8, 14, 5, 9, 123});
}

class FilesFixture
{
public:
    FilesFixture()
    {
        std::filesystem::create_directories(root / "work");
        log.Open(root / "work");
        Journal::Create(root / "journal.db");
        journal.Open(root / "journal.db");
        settings.ShowBallonHint = false;
        settings.SoundOFF = false;
    }
    ~FilesFixture()
    {
        journal.Close();
        log.Close();
    }

    [[nodiscard]] std::string Dir(const std::string& relative) const
    {
        const auto p = root / relative;
        std::filesystem::create_directories(p);
        return PathToUtf8(p);
    }
    [[nodiscard]] const std::vector<std::string>& Lines() const { return desktop.ProtocolLines; }
    [[nodiscard]] bool Logged(const std::string& line) const
    {
        return std::find(Lines().begin(), Lines().end(), line) != Lines().end();
    }
    [[nodiscard]] std::map<std::string, FileListRow> Rows()
    {
        std::map<std::string, FileListRow> rows;
        for (auto& row : journal.TodayRows()) {
            rows[row.FileName] = row;
        }
        return rows;
    }
    // Names of the files in a folder (what the engine sees), sorted.
    [[nodiscard]] static std::vector<std::string> FilesIn(const std::filesystem::path& folder)
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
            if (e.is_regular_file()) {
                names.push_back(PathToUtf8(e.path().filename()));
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder root;
    RuntimeSettings settings;
    FakeClock clock{TestMoment()};
    FakeEventLoop loop{&clock};
    RecordingDesktop desktop;
    RecordingSound sound;
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
};

} // namespace ornel::test
