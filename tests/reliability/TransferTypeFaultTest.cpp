// Faults found by injecting refusals into real cycles, kept as client-level tests against the
// scripted server.
#include "ftp/FtpClient.h"
#include "ftp/FtpErrors.h"
#include "support/ScriptedFtpServer.h"
#include "support/TempFolder.h"

#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ornel::test
{

class TransferTypeFault : public ::testing::TestWithParam<const char*>
{
protected:
    TransferTypeFault()
    {
        client.SetHost("127.0.0.1");
        client.SetPort(server.Port());
        client.SetUsername("user");
        client.SetPassword("pass");
        client.SetPassive(true);
        client.SetReadTimeout(std::chrono::milliseconds(2000));
        client.SetReplyTimeout(std::chrono::milliseconds(5000));
        client.SetAcceptTimeout(std::chrono::milliseconds(3000));
        client.SetQuitWait(std::chrono::milliseconds(200));
        client.OnDisconnected = [this] { ++disconnected; };
    }

    ScriptedFtpServer server;
    FtpClient client;
    TempFolder folder;
    int disconnected = 0;
};

// A listing switches the server to ASCII and back. When the switch back is refused, the
// server may still recode line ends: an upload that followed would arrive altered while
// every reply looked good. The session must end there, so that nothing else is sent in it.
TEST_P(TransferTypeFault, RefusedSwitchBackToBinaryEndsTheSession)
{
    server.StandardLogin()
        .On("TYPE A", "200 ok")
        .Expect("PASV")
        .EnterPassive()
        .Expect("NLST .in.a.txt.")
        .Reply("150 Here it comes")
        .SendData("")
        .Reply("226 Done")
        .On("TYPE I", GetParam());
    server.Start();
    client.Connect();
    const auto file = folder.Path() / "a.txt";
    std::ofstream(file, std::ios::binary) << "line one\r\nline two\n";

    std::vector<std::string> lines;
    EXPECT_THROW(client.List(lines, ".in.a.txt.", false), EFtpReplyError);
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(disconnected, 1);
    EXPECT_THROW(client.Put(file, "a.txt", false), EFtpException);
    ASSERT_TRUE(server.WaitFinished());
    for (const auto& line : server.Received()) {
        EXPECT_NE(line.rfind("STOR", 0), 0u) << "an upload was sent in an unknown transfer type";
    }
}

INSTANTIATE_TEST_SUITE_P(Replies, TransferTypeFault,
                         ::testing::Values("421 Service closing", "450 Busy, try later", "550 Refused"));

} // namespace ornel::test
