#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

CommandLine Parse(std::vector<std::string> args)
{
    return ParseCommandLine(args);
}

TEST(CommandLine, ModesAndStorePlaces)
{
    EXPECT_EQ(Parse({}).Mode, RunMode::Tray);
    const auto cycle = Parse({"--registry-dir", "/r", "--cycle", "receive-send", "--journal", "/j.db"});
    EXPECT_EQ(cycle.Mode, RunMode::CycleReceiveSend);
    EXPECT_EQ(cycle.RegistryDir, "/r");
    ASSERT_TRUE(cycle.Journal.has_value());
    EXPECT_EQ(*cycle.Journal, "/j.db");
    EXPECT_EQ(Parse({"--cycle", "send-receive"}).Mode, RunMode::CycleSendReceive);

    // --init-journal takes its file only when one follows.
    const auto init = Parse({"--init-journal", "--registry-dir", "/r"});
    EXPECT_EQ(init.Mode, RunMode::InitJournal);
    EXPECT_TRUE(init.File.empty());
    EXPECT_EQ(Parse({"--init-journal", "x.db"}).File, "x.db");
    EXPECT_EQ(Parse({"--export-reg", "out.reg"}).File, "out.reg");
}

TEST(CommandLine, MalformedLinesAreRefusedWithAReason)
{
    EXPECT_THROW(Parse({"--cycle"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--cycle", "both"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--service", "--cycle", "send-receive"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--import-reg"}), std::invalid_argument);
    EXPECT_THROW(Parse({"--registry-dir", ""}), std::invalid_argument);
    try {
        Parse({"--frobnicate"});
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("--frobnicate"), std::string::npos);
    }
}

} // namespace
} // namespace ornel::test
