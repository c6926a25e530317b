// The service front end end to end: the real agent binary against a real FTP server,
// started and stopped the way a service manager does it.
#include "app/AgentProcess.h"
#include "app/SiteOptions.h"
#include "platform/RegistryStore.h"
#include "support/RealFtpServer.h"
#include "support/TempFolder.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

TEST(ServiceMode, RunsTheReceiveFirstCycleOnItsPeriodicTimerAndStopsOnSigterm)
{
    if (!RealFtpServer::PyftpdlibAvailable()) {
        GTEST_SKIP() << "pyftpdlib is not installed";
    }
    TempFolder folder;
    const auto serverRoot = folder / "server";
    std::filesystem::create_directories(serverRoot / "Out");
    std::filesystem::create_directories(serverRoot / "In");
    auto server = RealFtpServer::StartPyftpdlib(serverRoot);
    const auto client = folder / "client";
    const auto work = folder / "work";
    std::filesystem::create_directories(work);

    {
        RegistryStore store(folder / "registry");
        WriteSiteOptions(store, *server, client);
        auto key = store.OpenKey(Hive::LocalMachine, "SOFTWARE\\RUX\\ORNEL_FTP\\Options");
        key.WriteBool("AutoRun", true);
        key.WriteInteger("Interval", 0); // the periodic timer keeps its one-second period
        // Every day is a working day from 00:00 to 23:59:59.
        for (int d = 1; d <= 7; ++d) {
            key.WriteBool("Week" + std::to_string(d), true);
            key.WriteFloat("Start" + std::to_string(d), 1.0);
            key.WriteFloat("Stop" + std::to_string(d), 1.0 + 86399.0 / 86400.0);
        }
    }

    const auto output = folder / "service.out";
    const pid_t pid = StartAgent(work,
                                 {"--service", "--registry-dir", (folder / "registry").string(), "--journal",
                                  (folder / "absent.db").string()},
                                 output);
    ASSERT_GT(pid, 0);
    const bool cycled = WaitForText(output, "Стоп прием/передача", std::chrono::seconds(60));
    kill(pid, SIGTERM);
    int status = WaitForExit(pid, std::chrono::seconds(60));
    if (status == -1) {
        kill(pid, SIGKILL);
        status = WaitForExit(pid, std::chrono::seconds(5));
        FAIL() << "the service did not end on SIGTERM\n" << ReadFile(output);
    }
    const std::string text = ReadFile(output);
    if (std::getenv("ORNEL_SHOW_OUTPUT") != nullptr) {
        std::fputs(text.c_str(), stdout);
    }
    EXPECT_TRUE(cycled) << text;
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("Мониторинг: FTP включен"), std::string::npos) << text;
    EXPECT_NE(text.find("Старт прием/передача"), std::string::npos) << text;
    EXPECT_NE(text.find("FTP Подключенно..."), std::string::npos) << text;
    EXPECT_NE(text.find("Ornel FTP service stopped"), std::string::npos) << text;
    // The daily log was written in the working folder.
    bool logFound = false;
    for (const auto& e : std::filesystem::directory_iterator(work)) {
        logFound = logFound || e.path().filename().string().rfind("Log", 0) == 0;
    }
    EXPECT_TRUE(logFound);
}

} // namespace
} // namespace ornel::test
