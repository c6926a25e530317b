#include "platform/Process.h"

#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <thread>
#include <windows.h>

namespace ornel::test
{
namespace
{

std::string Probe()
{
    return PathToUtf8(ExecutableFolder() / "ornel_child_probe.exe");
}

// Waits (bounded) for the program to end.
std::optional<int> WaitForEnd(Process& process, std::chrono::seconds limit = std::chrono::seconds(20))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (auto code = process.TryWait())
            return code;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

bool Running(DWORD id)
{
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!h)
        return false;
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

TEST(WinProcess, GivesTheArgumentsFolderAndShowModeAndTheExitCode)
{
    TempFolder folder;
    const auto work = folder / "рабочая папка"; // a name outside the ANSI code page of many machines
    std::filesystem::create_directories(work);
    const auto report = folder / "report.txt";
    StartFailure failure;
    // Blanks and quotes inside an argument reach the program unchanged.
    auto process = Process::Start(
        Probe(), {"report", PathToUtf8(report), "-I", "a b", "say \"hi\"", "C:\\dir\\", "Отчёт ✓"}, work,
        &failure, WindowShow::Hidden);
    ASSERT_TRUE(process) << failure.Detail;
    ASSERT_EQ(WaitForEnd(*process), 0);
    EXPECT_EQ(ReadFile(report), PathToUtf8(work) + "\n" + std::to_string(SW_HIDE) +
                                    "\n-I\na b\nsay \"hi\"\nC:\\dir\\\nОтчёт ✓\n");

    auto minimised =
        Process::Start(Probe(), {"report", PathToUtf8(report)}, {}, nullptr, WindowShowOfType(1));
    ASSERT_TRUE(minimised);
    ASSERT_EQ(WaitForEnd(*minimised), 0);
    EXPECT_NE(ReadFile(report).find("\n" + std::to_string(SW_MINIMIZE) + "\n"), std::string::npos);

    auto failing = Process::Start(Probe(), {"exit", "7"}, {});
    ASSERT_TRUE(failing);
    EXPECT_EQ(WaitForEnd(*failing), 7);
    EXPECT_EQ(failing->EndingSignal(), 0);
}

TEST(WinProcess, TellsAMissingProgramFromOneThatIsNoProgram)
{
    TempFolder folder;
    StartFailure failure;
    EXPECT_FALSE(Process::Start(PathToUtf8(folder / "absent.exe"), {}, {}, &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::Missing);
    EXPECT_FALSE(Process::Start("ornel-no-such-program", {}, {}, &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::Missing);
    EXPECT_FALSE(Process::Start(PathToUtf8(folder.Path()), {}, {}, &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::NotExecutable);
    EXPECT_FALSE(Process::Start("", {}, {}, &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::Missing);
}

TEST(WinProcess, StoppingTheGroupEndsWhatTheProgramStarted)
{
    TempFolder folder;
    const auto idFile = folder / "child.txt";
    auto process = Process::Start(Probe(), {"spawn", PathToUtf8(idFile), "60000"}, {});
    ASSERT_TRUE(process);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(idFile) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the id is written whole
    const DWORD child = static_cast<DWORD>(std::stoul(ReadFile(idFile)));
    ASSERT_TRUE(Running(child));
    EXPECT_FALSE(process->TryWait());

    EXPECT_TRUE(process->StopGroup(std::chrono::milliseconds(200)).has_value());
    for (int i = 0; i < 200 && Running(child); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(Running(child)) << "the grandchild outlived the stop";
}

} // namespace
} // namespace ornel::test
