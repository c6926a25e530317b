#include "automation/UnKnOwnWatch.h"

#include "RecordingWatcher.h"
#include "WatchHelpers.h"
#include "engine/EventLog.h"
#include "platform/ConsoleEventLoop.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/FolderWatcher.h"
#include "platform/PathText.h"
#include "settings/RuntimeSettings.h"
#include "support/FakeClock.h"
#include "support/RecordingDesktop.h"
#include "support/TempFolder.h"
#include "support/WineCheck.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace ornel::test
{

namespace
{

const double kDec8 = EncodeDateTime({2026, 12, 8, 14, 5, 9, 0});

struct UnKnOwnParts
{
    explicit UnKnOwnParts(FolderWatcher& watcher)
        : clock(kDec8)
        , log(desktop, clock, settings)
        , watch(watcher, log, clock, settings, desktop, [this](SoundEvent e) { sounds.push_back(e); })
    {
        log.Open(temp.Path());
    }

    TempFolder temp;
    FakeClock clock;
    RecordingDesktop desktop;
    RuntimeSettings settings;
    EventLog log;
    std::vector<SoundEvent> sounds;
    UnKnOwnWatch watch;
};

TEST(UnKnOwnWatch, TheDayFolderIsFixedWhenTheSettingIsApplied)
{
    RecordingWatcher watcher;
    UnKnOwnParts p(watcher);
    EXPECT_EQ(watcher.Filter, WatchFilter::Size);
    EXPECT_TRUE(watcher.Subtree);

    p.watch.SetUnKnOwnFolder("/depo/UnKnOwn/");
    EXPECT_EQ(p.watch.UnKnOwnDayFolder(), std::string("/depo/UnKnOwn") + kPathDelim + "20261208");
    EXPECT_EQ(watcher.Folder, std::string("/depo/UnKnOwn") + kPathDelim + "20261208");
    EXPECT_TRUE(watcher.Switches.empty()); // not watching: only pointed at the folder

    p.watch.SetUnKnOwnMonitoring(true);
    EXPECT_TRUE(p.settings.UnKnOwnMonitoring);
    p.clock.Set(kDec8 + 1.0); // the next day: still the 8th until the setting is applied again
    EXPECT_EQ(watcher.Folder, std::string("/depo/UnKnOwn") + kPathDelim + "20261208");
    p.watch.SetUnKnOwnFolder("/depo/UnKnOwn");
    EXPECT_EQ(watcher.Folder, std::string("/depo/UnKnOwn") + kPathDelim + "20261209");
    EXPECT_EQ(watcher.Switches, (std::vector<bool>{true, false, true}));

    // No root, no folder (not one at the top of the file system).
    p.watch.SetUnKnOwnFolder("");
    EXPECT_EQ(watcher.Folder, "");
}

TEST(UnKnOwnWatch, AnAlertSoundsLogsAndShowsTheListWhenAsked)
{
    RecordingWatcher watcher;
    UnKnOwnParts p(watcher);
    p.watch.SetUnKnOwnFolder("/depo/UnKnOwn");
    p.watch.SetUnKnOwnMonitoring(true);
    watcher.Fire();
    EXPECT_EQ(p.sounds, (std::vector<SoundEvent>{SoundEvent::UnKnOwnFiles}));
    EXPECT_EQ(p.desktop.ProtocolLines.back(), "08.12.2026 14:05:09 В папке UnKnOwn обнаруженны файлы!");
    EXPECT_TRUE(p.desktop.UnKnOwnListShown.empty());

    p.settings.WindowUnknown = true;
    watcher.Fire();
    EXPECT_EQ(p.desktop.UnKnOwnListShown, (std::vector<std::string>{std::string("/depo/UnKnOwn") + kPathDelim + "20261208"}));
    EXPECT_EQ(p.sounds.size(), 2u);
}

TEST(UnKnOwnWatch, RealFolderAlertsOnlyWhenTheDayFolderExistedAtTheSwitch)
{
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine: a subtree watch reports no change in subfolders";
    }
    ConsoleEventLoop loop;
    const auto made = MakeFolderWatcher(loop);
    FolderWatcher& watcher = *made;
    UnKnOwnParts p(watcher);
    const auto root = p.temp.Path() / "UnKnOwn";
    std::filesystem::create_directories(root);

    p.watch.SetUnKnOwnFolder(PathToUtf8(root));
    p.watch.SetUnKnOwnMonitoring(true);
    EXPECT_FALSE(watcher.Active()); // the day folder is missing: nothing watched, no error
    {
        SentinelWatcher sentinel(loop, root);
        std::filesystem::create_directories(root / "20261208");
        WriteFile(root / "20261208" / "late.txt", "x");
        ASSERT_TRUE(sentinel.SawAChange(loop));
        EXPECT_TRUE(p.sounds.empty());
    }

    // Applied again (a save of the options) now that it exists: a file in a subfolder counts.
    p.watch.SetUnKnOwnFolder(PathToUtf8(root));
    ASSERT_TRUE(watcher.Active());
    WriteFile(root / "20261208" / "sub" / "report.txt", "error report");
    ASSERT_TRUE(ServeUntil(loop, [&] { return !p.sounds.empty(); }));
    EXPECT_EQ(p.desktop.ProtocolLines.back(), "08.12.2026 14:05:09 В папке UnKnOwn обнаруженны файлы!");
}

} // namespace

} // namespace ornel::test
