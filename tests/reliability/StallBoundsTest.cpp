// A whole send-receive cycle against a scripted server that falls silent at one step after
// another: every wait of the cycle must end within the client's bounds, the cycle must fail
// with a logged error, and neither the outgoing nor the incoming file may be lost.
#include "engine/CycleFixture.h"
#include "support/ScriptedFtpServer.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ornel::test
{
namespace
{

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// One step of the cycle's conversation: the command the client sends, and how the server
// answers it when it behaves; `stall` plays the same step with the server going quiet.
struct Step
{
    std::string command;
    std::function<void(ScriptedFtpServer&)> answer;
    std::function<void(ScriptedFtpServer&)> stall;
};

// The server answers nothing more and only notices when the client gives up and closes.
void Silent(ScriptedFtpServer& s)
{
    s.WaitForClientClose();
}

Step Plain(const std::string& command, const std::string& reply)
{
    return {command, [reply](ScriptedFtpServer& s) { s.Reply(reply); }, Silent};
}

Step Passive()
{
    return {"PASV", [](ScriptedFtpServer& s) { s.EnterPassive(); }, Silent};
}

// A data command: the server opens the data connection and then sends nothing more.
Step DataIn(const std::string& command, const std::string& content)
{
    return {
        command,
        [content](ScriptedFtpServer& s) { s.Reply("150 Here it comes").SendData(content).Reply("226 Done"); },
        [](ScriptedFtpServer& s) {
            s.Reply("150 Here it comes").SendDataThenStall("").WaitForClientClose();
        }};
}

std::vector<Step> SendReceiveSteps()
{
    const std::string listing = "-rw-r--r-- 1 u g 5 Jan 1 00:00 b.txt\r\n";
    return {
        Plain("CWD .", "250 OK"),
        Plain("CWD In", "250 OK"),
        Plain("TYPE A", "200 OK"),
        Passive(),
        Plain("NLST .in.a.enc.", "550 No such file"),
        Plain("TYPE I", "200 OK"),
        Passive(),
        {"STOR a.enc",
         [](ScriptedFtpServer& s) { s.Reply("150 Go ahead").ReceiveData().Reply("226 Stored"); },
         [](ScriptedFtpServer& s) { s.Reply("150 Go ahead").HoldDataUnread(1500ms).WaitForClientClose(); }},
        Plain("SIZE a.enc", "213 5"),
        Plain("CDUP", "250 OK"),
        Plain("CWD Out", "250 OK"),
        Plain("TYPE A", "200 OK"),
        Passive(),
        DataIn("LIST *.*", listing),
        Plain("TYPE I", "200 OK"),
        Plain("TYPE A", "200 OK"),
        Passive(),
        DataIn("NLST *.*", "b.txt\r\n"),
        Plain("TYPE I", "200 OK"),
        Plain("SIZE b.txt", "213 5"),
        Passive(),
        DataIn("RETR b.txt", "hello"),
        Plain("DELE b.txt", "250 Deleted"),
        Plain("CDUP", "250 OK"),
        Plain("QUIT", "221 Bye"),
    };
}

bool Sent(const ScriptedFtpServer& server, const std::string& line)
{
    const auto received = server.Received();
    return std::find(received.begin(), received.end(), line) != received.end();
}

} // namespace

class StallBounds : public ::testing::TestWithParam<std::size_t>
{
};

TEST_P(StallBounds, ASilentServerEndsTheCycleWithoutLosingAFile)
{
    const auto steps = SendReceiveSteps();
    const std::size_t at = GetParam();
    ASSERT_LT(at, steps.size());
    CycleFixture f;
    f.ftp.SetReadTimeout(150ms);
    f.ftp.SetReplyTimeout(400ms);
    f.ftp.SetDataStallTimeout(400ms);
    f.ftp.SetAcceptTimeout(400ms);
    f.ftp.SetAcceptPollInterval(20ms);
    f.ftp.SetQuitWait(200ms);
    WriteFile(f.tempSend / "a.enc", "aaaaa");

    ScriptedFtpServer server;
    server.StandardLogin();
    for (std::size_t i = 0; i < at; ++i) {
        server.Expect(steps[i].command);
        steps[i].answer(server);
    }
    server.Expect(steps[at].command);
    steps[at].stall(server);
    f.UseServer(server.Port());
    server.Start();

    const auto started = std::chrono::steady_clock::now();
    f.cycle.RunSendReceive();
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(server.WaitFinished(10s));

    const std::string& command = steps[at].command;
    // The client followed the script up to the step that stalls, and that step is the one
    // named: otherwise the silence fell on some other step.
    ASSERT_TRUE(server.Mismatches().empty())
        << command << ": " << ::testing::PrintToString(server.Mismatches()) << "\n"
        << f.LogText();
    ASSERT_TRUE(Sent(server, command)) << command << " was never sent\n" << f.LogText();
    // Without the client's own bounds the cycle would wait for ever; a few of them in a row
    // (the step, the climb back, the goodbye) stay far below this.
    EXPECT_LT(took, 8s) << command << " waited past its bounds:\n" << f.LogText();
    if (command != "QUIT") {
        EXPECT_TRUE(f.cycle.LastCycleFailed()) << command << "\n" << f.LogText();
        EXPECT_TRUE(std::any_of(f.Lines().begin(), f.Lines().end(), [](const std::string& l) {
            return l.rfind("Ошибка: ", 0) == 0;
        })) << f.LogText();
    }
    // The outgoing file is still waiting unless its upload was complete and confirmed.
    const bool confirmed = at > 8;
    EXPECT_EQ(fs::exists(f.tempSend / "a.enc"), !confirmed) << command << "\n" << f.LogText();
    if (confirmed) {
        EXPECT_EQ(server.Uploads(), (std::vector<std::string>{"aaaaa"}));
    }
    // The incoming file was deleted on the server only once it was safe here.
    if (Sent(server, "DELE b.txt")) {
        const bool kept = fs::exists(f.tempReciv / "b.txt") || fs::exists(f.tempReciv / "temp2" / "b.txt") ||
                          fs::exists(f.postBoxIn / "b.txt");
        EXPECT_TRUE(kept) << "b.txt deleted on the server and found nowhere here\n" << f.LogText();
    }
    // Nothing half-received under a real name.
    if (fs::exists(f.tempReciv / "b.txt")) {
        EXPECT_EQ(ReadFile(f.tempReciv / "b.txt"), "hello");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryStep, StallBounds, ::testing::Range<std::size_t>(0, 25));

} // namespace ornel::test
