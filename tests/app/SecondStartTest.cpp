// One agent per settings store, seen from outside: the real agent binary started a second
// time on the store of a running service and of a running tray application, in every mode.
#include "app/AgentProcess.h"
#include "platform/RegistryStore.h"
#include "support/TempFolder.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace ornel::test
{
namespace
{

using std::chrono::seconds;

// A store whose agent starts without a question (both encrypted archives named, so no
// start-up warning) and never connects by itself.
struct Site
{
    Site()
    {
        std::filesystem::create_directories(work);
        std::filesystem::create_directories(folder / "Arc");
        RegistryStore store(registry);
        auto key = store.OpenKey(Hive::LocalMachine, "SOFTWARE\\RUX\\ORNEL_FTP\\Options");
        key.WriteString("IP", "127.0.0.1");
        key.WriteInteger("Port", 9); // nothing listens: a cycle fails at once
        key.WriteString("ArcSend", (folder / "Arc").string());
        key.WriteString("ArcReciv", (folder / "Arc").string());
        key.WriteString("PostBoxOut", (folder / "Out").string());
        key.WriteBool("AutoRun", false);
        // The tray application in these tests runs without a screen.
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        EXPECT_EQ(RunAgent(work, {"--init-journal", journal.string()}, folder / "init.out"), 0);
    }

    std::vector<std::string> With(std::vector<std::string> args) const
    {
        args.insert(args.end(), {"--registry-dir", registry.string(), "--journal", journal.string()});
        return args;
    }

    // Waits until the agent `pid` holds the store's lock.
    bool Holds(pid_t pid) const
    {
        return WaitForText(registry / "agent.lock", std::to_string(pid) + "\n", seconds(30));
    }

    TempFolder folder;
    std::filesystem::path work = folder / "work";
    std::filesystem::path registry = folder / "registry";
    std::filesystem::path journal = folder / "ornel_ftp.db";
};

// A start refused because `holder` runs: status 2 and the Russian message with its PID.
void ExpectRefused(const Site& site, const std::vector<std::string>& args, pid_t holder, const char* name)
{
    const auto output = site.folder / (std::string(name) + ".out");
    EXPECT_EQ(RunAgent(site.work, site.With(args), output), 2) << name << "\n" << ReadFile(output);
    const std::string text = ReadFile(output);
    EXPECT_NE(text.find("уже работает"), std::string::npos) << name << "\n" << text;
    EXPECT_NE(text.find("PID " + std::to_string(holder)), std::string::npos) << name << "\n" << text;
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    if (WaitForExit(pid, seconds(30)) == -1) {
        kill(pid, SIGKILL);
        WaitForExit(pid, seconds(5));
    }
}

TEST(SecondStart, BesideAServiceEveryCycleModeIsRefusedAndTheStoreToolsWork)
{
    Site site;
    const pid_t service = StartAgent(site.work, site.With({"--service"}), site.folder / "service.out");
    ASSERT_TRUE(site.Holds(service)) << ReadFile(site.folder / "service.out");

    ExpectRefused(site, {"--cycle", "send-receive"}, service, "cycle");
    ExpectRefused(site, {"--service"}, service, "service");
    // The tray application finds no tray application to bring forward.
    ExpectRefused(site, {}, service, "tray");

    const auto exported = site.folder / "settings.reg";
    EXPECT_EQ(RunAgent(site.work,
                       {"--registry-dir", site.registry.string(), "--export-reg", exported.string()},
                       site.folder / "export.out"),
              0);
    EXPECT_NE(ReadFile(exported).find("ArcSend"), std::string::npos);
    EXPECT_EQ(RunAgent(site.work,
                       {"--registry-dir", site.registry.string(), "--import-reg", exported.string()},
                       site.folder / "import.out"),
              0);
    EXPECT_EQ(RunAgent(site.work, {"--init-journal", (site.folder / "second.db").string()},
                       site.folder / "init2.out"),
              0);

    // Only the agent that ran wrote its start (the bare date) into the daily log.
    Stop(service);
    int starts = 0;
    for (const auto& entry : std::filesystem::directory_iterator(site.work)) {
        std::istringstream lines(ReadFile(entry.path()));
        for (std::string line; std::getline(lines, line);) {
            starts += std::regex_match(line, std::regex(R"(\d\d\.\d\d\.\d{4}\r?)")) ? 1 : 0;
        }
    }
    EXPECT_EQ(starts, 1);
}

TEST(SecondStart, ASecondTrayBringsTheRunningOneForwardAndTheLockEndsWithItsHolder)
{
    Site site;
    const pid_t tray = StartAgent(site.work, site.With({}), site.folder / "tray.out");
    ASSERT_TRUE(site.Holds(tray)) << ReadFile(site.folder / "tray.out");
    // The running tray application listens once its start-up is done.
    const auto socket = site.registry / "agent.sock";
    for (int i = 0; i < 300 && !std::filesystem::exists(socket); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    // Its status window comes forward; the second start has done what was asked.
    const auto second = site.folder / "second.out";
    EXPECT_EQ(RunAgent(site.work, site.With({}), second, seconds(30)), 0) << ReadFile(second);
    EXPECT_EQ(ReadFile(second).find("уже работает"), std::string::npos) << ReadFile(second);

    ExpectRefused(site, {"--cycle", "receive-send"}, tray, "cycle");
    ExpectRefused(site, {"--service"}, tray, "service");

    // The kernel drops the lock with its holder, however it ends: a cycle runs again (and
    // fails to connect, which is not the refusal).
    kill(tray, SIGKILL);
    WaitForExit(tray, seconds(10));
    const auto after = site.folder / "after.out";
    EXPECT_EQ(RunAgent(site.work, site.With({"--cycle", "send-receive"}), after), 1) << ReadFile(after);
}

} // namespace
} // namespace ornel::test
