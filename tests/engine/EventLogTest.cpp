#include "engine/EventLog.h"

#include "platform/DateTime.h"
#include "settings/RuntimeSettings.h"
#include "support/FakeClock.h"
#include "support/RecordingDesktop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ornel::test
{
namespace
{

struct EventLogTest : ::testing::Test
{
    EventLogTest()
        : clock(EncodeDateTime({2026, 12, 8, 14, 5, 9, 0}))
        , log(desktop, clock, settings)
    {}

    TempFolder folder;
    FakeClock clock;
    RecordingDesktop desktop;
    RuntimeSettings settings;
    EventLog log;
};

TEST_F(EventLogTest, LinesReachMemoAndDailyFileInWindows1251WithCrLf)
{
    log.Open(folder.Path());
    EXPECT_EQ(log.FilePath(), folder.Path() / "Log20261208.txt");
    log.AddLog("08.12.2026");
    log.AddLog("Прием");
    // The file is written line by line: its content is complete before Close.
    EXPECT_EQ(ReadFile(log.FilePath()), "08.12.2026\r\n\xCF\xF0\xE8\xE5\xEC\r\n");
    ASSERT_EQ(desktop.ProtocolLines.size(), 2u);
    EXPECT_EQ(desktop.ProtocolLines[1], "Прием");
    EXPECT_EQ(log.LastLogLine(), "Прием");
    log.Close();

    // A second run the same day appends; a run past midnight keeps its first day's file.
    EventLog again(desktop, clock, settings);
    again.Open(folder.Path());
    clock.Advance(std::chrono::hours(12));
    again.AddLog("next");
    again.Close();
    EXPECT_EQ(ReadFile(folder.Path() / "Log20261208.txt"), "08.12.2026\r\n\xCF\xF0\xE8\xE5\xEC\r\nnext\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "Log20261209.txt"));
}

TEST_F(EventLogTest, BalloonShowsTheLastLinesAndStaysAnErrorWhileAnErrorLineIsHeld)
{
    log.Open(folder.Path());
    settings.BallonHintCountLines = 3;
    log.AddLog("a");
    log.AddLog("Ошибка: Connection refused.");
    log.AddLog("b");
    log.AddLog("c");
    log.AddLog("d");
    ASSERT_EQ(desktop.Balloons.size(), 5u);
    EXPECT_EQ(desktop.Balloons[0].Text, "a\r\n");
    EXPECT_EQ(desktop.Balloons[0].Icon, BalloonIcon::Info);
    EXPECT_EQ(desktop.Balloons[0].TimeoutMs, 5000);
    EXPECT_EQ(desktop.Balloons[0].Title, "ORNEL_FTP. ФК \"Корви\"");
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(desktop.Balloons[static_cast<std::size_t>(i)].Icon, BalloonIcon::Error) << i;
        EXPECT_EQ(desktop.Balloons[static_cast<std::size_t>(i)].TimeoutMs, 6000) << i;
    }
    EXPECT_EQ(desktop.Balloons[3].Text, "Ошибка: Connection refused.\r\nb\r\nc\r\n");
    EXPECT_EQ(desktop.Balloons[4].Text, "b\r\nc\r\nd\r\n");
    EXPECT_EQ(desktop.Balloons[4].Icon, BalloonIcon::Info);

    // Without the colon it is no error; switched off, lines reach memo and file only.
    log.AddLog("Ошибка без двоеточия");
    EXPECT_EQ(desktop.Balloons.back().Icon, BalloonIcon::Info);
    settings.ShowBallonHint = false;
    log.AddLog("quiet");
    EXPECT_EQ(desktop.Balloons.size(), 6u);
    EXPECT_EQ(desktop.ProtocolLines.back(), "quiet");
}

TEST_F(EventLogTest, HintListStaysBoundedWhateverTheStoreHolds)
{
    log.Open(folder.Path());
    settings.BallonHintCountLines = 0;
    log.AddLog("one");
    log.AddLog("two");
    EXPECT_EQ(log.HintLines().size(), 1u);
    settings.BallonHintCountLines = 1000;
    for (int i = 0; i < 50; ++i) {
        log.AddLog(std::to_string(i));
    }
    EXPECT_EQ(log.HintLines().size(), static_cast<std::size_t>(EventLog::kMaxHintLines));
    // Lowering the count below what is held shrinks the list at the next line.
    settings.BallonHintCountLines = 2;
    log.AddLog("last");
    EXPECT_EQ(log.HintLines().size(), 2u);
    EXPECT_EQ(log.HintLines().back(), "last");
}

TEST_F(EventLogTest, UnwritableFolderFailsToOpenAndNamesTheFile)
{
    const auto locked = folder.Path() / "locked";
    std::filesystem::create_directory(locked);
    chmod(locked.c_str(), 0500);
    if (geteuid() == 0) {
        // root writes anyway; a missing folder is refused for everyone.
        EXPECT_THROW(log.Open(folder.Path() / "missing"), std::runtime_error);
    } else {
        EXPECT_THROW(log.Open(locked), std::runtime_error);
    }
    try {
        log.Open(folder.Path() / "missing");
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Log20261208.txt"), std::string::npos);
    }
    EXPECT_FALSE(log.IsOpen());
    // A line while no file is open is an error, not a silent loss.
    EXPECT_THROW(log.AddLog("x"), std::runtime_error);
}

} // namespace
} // namespace ornel::test
