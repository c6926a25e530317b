#include "ClientFixture.h"
#include "ftp/FtpErrors.h"
#include "platform/CodePage.h"
#include "platform/Socket.h"
#include "support/LoopbackPort.h"

#include <gtest/gtest.h>

namespace ornel::test
{

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

class FtpControl : public ClientFixture
{
};

TEST_F(FtpControl, LoginSequenceAndStatusesOfAPlainConnect)
{
    server.Reply("220-Welcome\r\n220-to the\r\n220 depository")
        .On("USER user", "331 Password required")
        .On("PASS pass", "230 Logged in")
        .On("FEAT", "211-Features:\r\n MDTM\r\n PRET\r\n211 End")
        .On("TYPE I", "200 Type set to I")
        .On("SYST", "215 UNIX Type: L8");
    server.Start();
    client.Connect();
    ExpectScriptPlayed();
    EXPECT_EQ(client.Greeting().Text, (Strings{"Welcome", "to the", "depository"}));
    EXPECT_EQ(client.FeatureList(), (Strings{"MDTM", "PRET"}));
    EXPECT_TRUE(client.IsFeatureOffered("pret"));
    EXPECT_FALSE(client.IsFeatureOffered("REST"));
    EXPECT_EQ(client.ServerSystem(), "UNIX Type: L8");
    EXPECT_EQ(statuses,
              (std::vector<FtpStatus>{FtpStatus::hsConnecting, FtpStatus::hsConnected, FtpStatus::ftpReady}));
    EXPECT_EQ(statusTexts, (Strings{"Connecting to 127.0.0.1.", "Connected.", "Connection established"}));
    EXPECT_TRUE(client.Connected());

    client.Disconnect();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(disconnectedEvents, 1);
    EXPECT_EQ(Strings(statusTexts.end() - 2, statusTexts.end()),
              (Strings{"Disconnecting.", "Disconnected."}));
    // A second Disconnect has nothing left to report.
    const auto reported = statuses.size();
    client.Disconnect();
    EXPECT_EQ(statuses.size(), reported);
    EXPECT_EQ(disconnectedEvents, 1);
}

TEST_F(FtpControl, GreetingOtherThan220FailsAfterQuitAndClose)
{
    server.Reply("421 Too many users, try later").Expect("QUIT").Reply("221 Bye");
    server.Start();
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Connect(); }), "Too many users, try later\r\n");
    ExpectScriptPlayed();
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(disconnectedEvents, 1);
    EXPECT_EQ(statuses.back(), FtpStatus::hsDisconnected);
}

TEST_F(FtpControl, BlankLinesAndEmptyWaitsBeforeAReplyAreSkipped)
{
    client.SetReadTimeout(30ms);
    // Silence over several read waits, then blank lines, then the reply; the waits inside
    // a multi-line reply count as lines of it.
    server.Pause(150ms)
        .SendRaw("\r\n   \r\n")
        .SendRaw("220-first\r\n")
        .Pause(100ms)
        .SendRaw("220 last\r\n")
        .On("USER user", "230 No password needed")
        .On("FEAT", "500 no")
        .On("TYPE I", "200 ok")
        .On("SYST", "500 no");
    server.Start();
    client.Connect();
    ExpectScriptPlayed();
    const Strings& text = client.Greeting().Text;
    ASSERT_GE(text.size(), 3U);
    EXPECT_EQ(text.front(), "first");
    EXPECT_EQ(text.back(), "last");
    EXPECT_EQ(client.ServerSystem(), "Unknown");
    EXPECT_TRUE(client.FeatureList().empty());
    // USER answered with 230: no PASS.
    EXPECT_EQ(server.Received(), (Strings{"USER user", "FEAT", "TYPE I", "SYST"}));
}

TEST_F(FtpControl, ReplyWaitHasAnOverallBound)
{
    client.SetReadTimeout(20ms);
    client.SetReplyTimeout(200ms);
    server.WaitForClientClose();
    server.Start();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf<EFtpTimeout>([&] { client.Connect(); }), "No reply from the server within 200 ms.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    ExpectScriptPlayed();
    EXPECT_EQ(server.Received(), Strings{"QUIT"});
}

TEST_F(FtpControl, EndlessAndOversizedRepliesAreCutOff)
{
    std::string flood = "220-start\r\n";
    for (int i = 0; i < 12000; ++i) {
        flood += "220-more\r\n";
    }
    server.SendRaw(flood).SendRaw("220 end\r\n");
    server.Start();
    EXPECT_THROW(client.Connect(), EFtpReplyTooLong);
    ASSERT_TRUE(server.WaitFinished());

    ScriptedFtpServer second;
    client.SetPort(second.Port());
    second.SendRaw("220 " + std::string(20000, 'x') + "\r\n");
    second.Start();
    EXPECT_EQ(MessageOf<EFtpMaxLineLengthExceeded>([&] { client.Connect(); }), "Max line length exceeded.");

    // Without any line end the client gives up as soon as the limit is passed.
    ScriptedFtpServer third;
    client.SetPort(third.Port());
    third.SendRaw("220 " + std::string(40000, 'y'));
    third.Start();
    EXPECT_THROW(client.Connect(), EFtpMaxLineLengthExceeded);
}

TEST_F(FtpControl, FirstLineWithoutCodeIsRejected)
{
    server.Reply("Hello, I am a server");
    server.Start();
    EXPECT_EQ(MessageOf<EFtpException>([&] { client.Connect(); }), "Reply Code is not valid: Hell");
}

TEST_F(FtpControl, MultiLineReplyEndsAtAnyCodeLine)
{
    server.StandardLogin()
        .On("NOOP", "200-first\r\n150 other code ends it\r\n200 stray")
        .On("NOOP", "200 ok");
    ConnectLoggedIn();
    client.Noop();
    EXPECT_EQ(client.LastReply().Text, (Strings{"first", "150 other code ends it"}));
    // The stray line is read as the next command's reply ... and it is a valid one.
    client.Noop();
    EXPECT_EQ(client.LastReply().Text, Strings{"stray"});
    client.Noop();
    ExpectScriptPlayed();
}

TEST_F(FtpControl, PeerCloseDuringCommandsAndDisconnect)
{
    server.StandardLogin().Expect("NOOP").CloseControl();
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpConnClosedGracefully>([&] { client.Noop(); }), "Connection Closed Gracefully.");
    // The socket layer noticed the close itself: hsDisconnected, no OnDisconnected.
    EXPECT_EQ(statuses, std::vector<FtpStatus>{FtpStatus::hsDisconnected});
    EXPECT_FALSE(client.Connected());
    EXPECT_THROW(client.Noop(), EFtpConnClosedGracefully);
    client.Disconnect();
    EXPECT_EQ(disconnectedEvents, 0);
    EXPECT_EQ(statuses.size(), 1U);
}

TEST(FtpPeerClose, AtEveryStepOfTheLoginConnectFailsCleanly)
{
    const std::vector<std::pair<std::string, std::string>> login = {{"USER user", "331 pw"},
                                                                    {"PASS pass", "230 ok"},
                                                                    {"FEAT", "500 no"},
                                                                    {"TYPE I", "200 ok"},
                                                                    {"SYST", "215 UNIX"}};
    for (std::size_t closeAfter = 0; closeAfter < login.size(); ++closeAfter) {
        ScriptedFtpServer server;
        server.Reply("220 hi");
        for (std::size_t i = 0; i < closeAfter; ++i) {
            server.On(login[i].first, login[i].second);
        }
        server.Expect(login[closeAfter].first).CloseControl();
        server.Start();
        FtpClient client;
        client.SetHost("127.0.0.1");
        client.SetPort(server.Port());
        client.SetUsername("user");
        client.SetPassword("pass");
        client.SetReplyTimeout(5s);
        EXPECT_THROW(client.Connect(), EFtpConnClosedGracefully) << "closed at " << login[closeAfter].first;
        EXPECT_FALSE(client.Connected());
        ASSERT_TRUE(server.WaitFinished());
        EXPECT_EQ(server.Mismatches(), Strings{});
    }
}

TEST_F(FtpControl, QuitAnsweredByAClose)
{
    server.StandardLogin().Expect("QUIT").CloseControl();
    ConnectLoggedIn();
    client.SetQuitWait(2000ms);
    // The close arrives while Disconnect waits for the QUIT reply.
    EXPECT_THROW(client.Disconnect(), EFtpConnClosedGracefully);
    EXPECT_EQ(disconnectedEvents, 0);
    EXPECT_EQ(statuses, std::vector<FtpStatus>{FtpStatus::hsDisconnected});
    EXPECT_FALSE(client.Connected());
}

TEST_F(FtpControl, QuitWithoutAnswerStillClosesPolitely)
{
    server.StandardLogin().Expect("QUIT").WaitForClientClose();
    ConnectLoggedIn();
    client.Disconnect();
    EXPECT_EQ(disconnectedEvents, 1);
    EXPECT_EQ(statuses, (std::vector<FtpStatus>{FtpStatus::hsDisconnecting, FtpStatus::hsDisconnected}));
    ExpectScriptPlayed();
}

TEST_F(FtpControl, ReconnectAfterThePeerLeftUnreadBytes)
{
    // The server says goodbye and closes: bytes are left unread on a dead connection.
    server.StandardLogin().Reply("421 Going down").CloseControl();
    ConnectLoggedIn();
    ASSERT_TRUE(server.WaitFinished());
    EXPECT_TRUE(client.Connected());
    EXPECT_THROW(client.Disconnect(), EFtpConnClosedGracefully);
    EXPECT_FALSE(client.Connected());

    ScriptedFtpServer next;
    next.StandardLogin();
    next.Start();
    client.SetPort(next.Port());
    client.Connect();
    EXPECT_TRUE(client.Connected());
}

TEST_F(FtpControl, PreconditionsOfConnectAndCommands)
{
    FtpClient fresh;
    EXPECT_EQ(MessageOf<EFtpNotConnected>([&] { fresh.Noop(); }), "Not connected.");
    fresh.Disconnect(); // never connected: nothing to do, nothing raised
    EXPECT_THROW(fresh.Connect(), EFtpHostRequired);
    fresh.SetHost("127.0.0.1");
    fresh.SetPort(0);
    EXPECT_THROW(fresh.Connect(), EFtpPortRequired);

    server.StandardLogin().Expect("QUIT").Reply("221 Bye");
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpAlreadyConnected>([&] { client.Connect(); }), "Already connected.");
    // The refused second Connect leaves the session alone.
    EXPECT_TRUE(client.Connected());
    client.Disconnect();
    ExpectScriptPlayed();
}

TEST_F(FtpControl, LineBreaksAndUnsendableTextNeverReachTheWire)
{
    server.StandardLogin().On("CWD " + Utf8ToCp1251("Входящие"), "250 ok").On("NOOP", "200 ok");
    ConnectLoggedIn();
    EXPECT_THROW(client.ChangeDir("x\r\nDELE important"), EFtpInvalidArgument);
    EXPECT_THROW(client.Delete(std::string("a\0b", 3)), EFtpInvalidArgument);
    EXPECT_THROW(client.ChangeDir("日本"), EFtpInvalidArgument);
    std::vector<std::string> lines{"kept"};
    EXPECT_THROW(client.List(lines, "a\nb", false), EFtpInvalidArgument);
    EXPECT_EQ(lines, Strings{"kept"});
    // Cyrillic goes out in Windows-1251.
    client.ChangeDir("Входящие");
    client.Noop();
    ExpectScriptPlayed();
    EXPECT_EQ(server.Received().size(), 7U);
}

TEST(FtpConnect, RefusedConnectAndNameLookUp)
{
    FtpClient client;
    std::vector<std::string> texts;
    int disconnected = 0;
    client.OnStatus = [&](FtpStatus, const std::string& text) { texts.push_back(text); };
    client.OnDisconnected = [&] { ++disconnected; };
    client.SetHost("LocalHost");
    client.SetPort(FreeLoopbackPort());
    EXPECT_EQ(MessageOf<EFtpSocketError>([&] { client.Connect(); }),
              "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(texts, (std::vector<std::string>{"Resolving hostname LocalHost.", "Connecting to 127.0.0.1."}));
    EXPECT_EQ(disconnected, 0);
    EXPECT_FALSE(client.Connected());
    // A connect that never got through leaves no connection to send on.
    EXPECT_THROW(client.Noop(), EFtpNotConnected);

    texts.clear();
    client.SetHost("no-such-host.invalid");
    try {
        client.Connect();
        ADD_FAILURE() << "connected to an unknown host";
    } catch (const EFtpSocketError& e) {
        EXPECT_EQ(e.ErrorNumber(), 11001);
        EXPECT_STREQ(e.what(), "Socket Error # 11001\r\nHost not found.");
    }
    EXPECT_EQ(texts, std::vector<std::string>{"Resolving hostname no-such-host.invalid."});

    // Four numbers with one above 255 are no address: they go to the look-up as a name.
    EXPECT_TRUE(IsDottedQuad("10.0.0.255"));
    EXPECT_FALSE(IsDottedQuad("10.0.0.256"));
    EXPECT_FALSE(IsDottedQuad("10.0.0"));
    EXPECT_FALSE(IsDottedQuad("10.0.0.1.2"));
    texts.clear();
    client.SetHost("127.0.0.256");
    EXPECT_THROW(client.Connect(), EFtpSocketError);
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Resolving hostname 127.0.0.256.");
}

} // namespace ornel::test
