#include "ClientFixture.h"
#include "ftp/FtpErrors.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace ornel::test
{

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

namespace
{

std::string Pattern(std::size_t size)
{
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    }
    return data;
}

} // namespace

class FtpTransfer : public ClientFixture
{
protected:
    TempFolder folder;
};

TEST_F(FtpTransfer, PassiveDownloadCountsBlocksAndReadsTheFinalReply)
{
    const std::string content = Pattern(100000);
    client.SetPassive(true);
    server.StandardLogin()
        .Expect("PASV")
        .EnterPassive()
        .On("RETR data.bin", "150 Opening BINARY connection")
        .SendData(content)
        .Reply("226 Transfer complete");
    ConnectLoggedIn();
    WriteFile(folder / "data.bin", "old content that must go");
    client.Get("data.bin", folder / "data.bin", true, false);
    ExpectScriptPlayed();
    EXPECT_EQ(ReadFile(folder / "data.bin"), content);
    EXPECT_EQ(work, (std::vector<WorkEvent>{{"begin", WorkMode::wmRead, 0},
                                            {"work", WorkMode::wmRead, 32768},
                                            {"work", WorkMode::wmRead, 65536},
                                            {"work", WorkMode::wmRead, 98304},
                                            {"work", WorkMode::wmRead, 100000},
                                            {"end", WorkMode::wmRead, 0}}));
    EXPECT_EQ(statuses, (std::vector<FtpStatus>{FtpStatus::ftpTransfer, FtpStatus::ftpReady}));
    EXPECT_EQ(statusTexts, (Strings{"Starting FTP transfer", "Transfer complete"}));
}

TEST_F(FtpTransfer, PretWhenOfferedAndPassiveHostReplacedByControlPeer)
{
    client.SetPassive(true);
    server.Reply("220 hi")
        .On("USER user", "230 ok")
        .On("FEAT", "211-Features\r\n PRET\r\n211 End")
        .On("TYPE I", "200 ok")
        .On("SYST", "215 UNIX")
        .On("PRET RETR a.txt", "200 ready")
        .Expect("PASV")
        // The reply names a host nobody can reach; the client must use the server's address.
        .EnterPassive("10,255,255,1")
        .On("RETR a.txt", "150 go")
        .SendData("abc")
        .Reply("226 done");
    ConnectLoggedIn();
    client.Get("a.txt", folder / "a.txt", true, false);
    ExpectScriptPlayed();
    EXPECT_EQ(ReadFile(folder / "a.txt"), "abc");
}

TEST_F(FtpTransfer, ActiveDownloadAcceptsOnlyTheServersConnection)
{
    server.StandardLogin()
        .Expect("PORT 127,0,0,1,*")
        .Reply("200 PORT ok")
        .On("RETR a.txt", "150 go")
        // A stranger connects first and offers other bytes; it must not become the data.
        .SendDataFrom("127.0.0.2", "forged")
        .SendData("genuine")
        .Reply("226 done");
    ConnectLoggedIn();
    client.Get("a.txt", folder / "a.txt", true, false);
    ExpectScriptPlayed();
    EXPECT_EQ(ReadFile(folder / "a.txt"), "genuine");
}

TEST_F(FtpTransfer, ActiveModeGivesUpWhenTheServerNeverConnects)
{
    client.SetAcceptTimeout(300ms);
    server.StandardLogin()
        .Expect("PORT *")
        .Reply("200 ok")
        .On("RETR a.txt", "150 go")
        .Reply("425 Can't open data connection");
    ConnectLoggedIn();
    // The final reply explains the failure better than the client's own time-out.
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Get("a.txt", folder / "a.txt", true, false); }),
              "Can't open data connection\r\n");
    ExpectScriptPlayed();
    EXPECT_FALSE(std::filesystem::exists(folder / "a.txt"));
}

TEST_F(FtpTransfer, RefusedCommandsAbortWithoutWaitingForMore)
{
    client.SetPassive(true);
    server.StandardLogin()
        .On("PASV", "425 No passive mode")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR missing.txt", "550 No such file.")
        .Expect("PASV")
        .EnterPassiveRefused()
        .On("NOOP", "200 still here");
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Get("x", folder / "x", true, false); }),
              "No passive mode\r\n");
    EXPECT_TRUE(statuses == std::vector<FtpStatus>{FtpStatus::ftpTransfer});

    statuses.clear();
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Get("missing.txt", folder / "m.txt", true, false); }),
              "No such file.\r\n");
    EXPECT_EQ(statuses, (std::vector<FtpStatus>{FtpStatus::ftpTransfer, FtpStatus::ftpAborted}));
    // No partial or empty file is left that could pass for a download.
    EXPECT_FALSE(std::filesystem::exists(folder / "m.txt"));

    statuses.clear();
    try {
        client.Get("y", folder / "y", true, false);
        ADD_FAILURE() << "download over a refused data connection succeeded";
    } catch (const EFtpSocketError& e) {
        EXPECT_EQ(e.ErrorNumber(), 10061);
    }
    EXPECT_EQ(statuses.back(), FtpStatus::ftpAborted);
    // The control connection is still usable and nothing was left unread.
    client.Noop();
    ExpectScriptPlayed();
    EXPECT_EQ(server.Received().back(), "NOOP");
}

TEST_F(FtpTransfer, RefusingFinalReplyFailsTheDownload)
{
    client.SetPassive(true);
    server.StandardLogin()
        .Expect("PASV")
        .EnterPassive()
        .On("RETR a.txt", "150 go")
        .SendData(Pattern(50000))
        .Reply("426 Connection closed; transfer aborted.");
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Get("a.txt", folder / "a.txt", true, false); }),
              "Connection closed; transfer aborted.\r\n");
    EXPECT_EQ(statuses.back(), FtpStatus::ftpReady);
    EXPECT_FALSE(std::filesystem::exists(folder / "a.txt"));
    ExpectScriptPlayed();
}

TEST_F(FtpTransfer, ControlConnectionLostBeforeTheFinalReply)
{
    client.SetPassive(true);
    server.StandardLogin()
        .Expect("PASV")
        .EnterPassive()
        .On("RETR a.txt", "150 go")
        .SendData("partial")
        .CloseControl();
    ConnectLoggedIn();
    EXPECT_THROW(client.Get("a.txt", folder / "a.txt", true, false), EFtpConnClosedGracefully);
    EXPECT_FALSE(std::filesystem::exists(folder / "a.txt"));
}

TEST_F(FtpTransfer, StalledDataConnectionFails)
{
    client.SetPassive(true);
    client.SetDataStallTimeout(200ms);
    server.StandardLogin()
        .Expect("PASV")
        .EnterPassive()
        .On("RETR a.txt", "150 go")
        .SendDataThenStall("some bytes")
        .Reply("426 aborted");
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpTimeout>([&] { client.Get("a.txt", folder / "a.txt", true, false); }),
              "No data arrived on the data connection for 200 ms.");
    ExpectScriptPlayed();
    EXPECT_EQ(work.back().kind, "end");
    EXPECT_FALSE(std::filesystem::exists(folder / "a.txt"));
}

TEST_F(FtpTransfer, ActiveModeOwnBoundWhenTheServerStaysSilent)
{
    client.SetAcceptTimeout(300ms);
    client.SetReplyTimeout(300ms);
    server.StandardLogin().Expect("PORT *").Reply("200 ok").On("RETR a.txt", "150 go").WaitForClientClose();
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpTimeout>([&] { client.Get("a.txt", folder / "a.txt", true, false); }),
              "The server did not open the data connection within 300 ms.");
    client.Disconnect();
    ExpectScriptPlayed();
}

TEST_F(FtpTransfer, UploadToAServerThatStopsReadingFails)
{
    // More than the loopback socket buffers hold, so that the sender must wait for the peer.
    WriteFile(folder / "big.bin", Pattern(16 * 1024 * 1024));
    client.SetPassive(true);
    client.SetDataStallTimeout(200ms);
    server.StandardLogin()
        .Expect("PASV")
        .EnterPassive()
        .On("STOR big.bin", "150 go")
        .HoldDataUnread(800ms)
        .Reply("426 Transfer aborted");
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpTimeout>([&] { client.Put(folder / "big.bin", "", false); }),
              "The server took no data for 200 ms.");
    EXPECT_EQ(work.back().kind, "end");
    ExpectScriptPlayed();
}

TEST_F(FtpTransfer, AnUploadWhoseConnectionIsResetWithDataQueuedFailsAtOnce)
{
    // The whole file fits in the socket buffers, so the client has handed all of it over and
    // follows the queue when the server drops the connection unread (a reset). The count of
    // unacknowledged bytes a dead connection leaves behind must not be waited on.
    WriteFile(folder / "queued.bin", Pattern(600 * 1024));
    client.SetPassive(true);
    client.SetDataStallTimeout(20s);
    server.StandardLogin()
        .Expect("PASV")
        .EnterPassive()
        .On("STOR queued.bin", "150 go")
        .HoldDataUnread(300ms)
        .Reply("426 Connection reset");
    ConnectLoggedIn();
    const std::string error = MessageOf<EFtpException>([&] { client.Put(folder / "queued.bin", "", false); });
    EXPECT_EQ(error.find("took no data"), std::string::npos) << error;
    EXPECT_EQ(work.back().kind, "end");
    ExpectScriptPlayed();
}

TEST_F(FtpTransfer, UploadsInBothModes)
{
    const std::string content = Pattern(70000);
    WriteFile(folder / "out.bin", content);
    WriteFile(folder / "empty.bin", "");
    server.StandardLogin()
        .Expect("PASV")
        .EnterPassive()
        .On("STOR out.bin", "150 go")
        .ReceiveData()
        .Reply("226 stored")
        .Expect("PORT *")
        .Reply("200 ok")
        .On("STOR remote.bin", "150 go")
        .ReceiveData()
        .Reply("226 stored");
    ConnectLoggedIn();
    client.SetPassive(true);
    client.Put(folder / "out.bin", "", false);
    // The counts are what the server has taken: never ahead of the blocks written, never
    // going back, the whole file at the end.
    ASSERT_GE(work.size(), 3u);
    EXPECT_EQ(work.front(), (WorkEvent{"begin", WorkMode::wmWrite, 70000}));
    EXPECT_EQ(work.back(), (WorkEvent{"end", WorkMode::wmWrite, 0}));
    EXPECT_EQ(work[work.size() - 2], (WorkEvent{"work", WorkMode::wmWrite, 70000}));
    for (std::size_t i = 1; i + 1 < work.size(); ++i) {
        EXPECT_EQ(work[i].kind, "work");
        EXPECT_LE(work[i].value, std::min<std::int64_t>(70000, 32768 * static_cast<std::int64_t>(i)));
        EXPECT_GE(work[i].value, work[i - 1].kind == "work" ? work[i - 1].value : 0);
    }
    work.clear();
    client.SetPassive(false);
    client.Put(folder / "empty.bin", "remote.bin", false);
    EXPECT_EQ(work, (std::vector<WorkEvent>{{"begin", WorkMode::wmWrite, 0}, {"end", WorkMode::wmWrite, 0}}));
    ExpectScriptPlayed();
    EXPECT_EQ(server.Uploads(), (Strings{content, ""}));
}

TEST_F(FtpTransfer, FailedUploadsAreReportedAsFailures)
{
    WriteFile(folder / "out.bin", Pattern(1000));
    client.SetPassive(true);
    server.StandardLogin()
        .Expect("PASV")
        .EnterPassive()
        .On("STOR out.bin", "553 Not allowed")
        .Expect("PASV")
        .EnterPassiveRefused()
        .Expect("STOR out.bin")
        .Reply("425 Can't open data connection")
        .Expect("PASV")
        .EnterPassive()
        .On("STOR out.bin", "150 go")
        .ReceiveData()
        .Reply("452 Disk full")
        .Expect("PASV")
        .EnterPassive()
        .On("STOR out.bin", "150 go")
        .ReceiveData()
        .CloseControl();
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Put(folder / "out.bin", "", false); }),
              "Not allowed\r\n");
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Put(folder / "out.bin", "", false); }),
              "Can't open data connection\r\n");
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Put(folder / "out.bin", "", false); }), "Disk full\r\n");
    // A session that ends before the server confirmed the file is no successful upload.
    EXPECT_THROW(client.Put(folder / "out.bin", "", false), EFtpConnClosedGracefully);
    ExpectScriptPlayed();
}

TEST_F(FtpTransfer, LocalFileProblemsStopBeforeTheServerIsAsked)
{
    server.StandardLogin().On("NOOP", "200 ok");
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFileStreamError>([&] {
                  client.Put(folder / "absent.bin", "", false);
              }).rfind("Cannot open file \"", 0),
              0U);
    EXPECT_EQ(MessageOf<EFileStreamError>([&] {
                  client.Get("a", folder / "no" / "such" / "a", true, false);
              }).rfind("Cannot create file \"", 0),
              0U);
    std::filesystem::create_directory(folder / "sub");
    EXPECT_THROW(client.Put(folder / "sub", "sub", false), EFileStreamError);
    EXPECT_THROW(client.Get("sub", folder / "sub", true, false), EFileStreamError);
    EXPECT_TRUE(std::filesystem::is_directory(folder / "sub"));
    WriteFile(folder / "exists.txt", "mine");
    EXPECT_EQ(MessageOf<EFtpFileAlreadyExists>([&] { client.Get("a", folder / "exists.txt", false, false); }),
              "Destination file already exists.");
    EXPECT_EQ(ReadFile(folder / "exists.txt"), "mine");
    client.Noop();
    ExpectScriptPlayed();
    EXPECT_EQ(server.Received().back(), "NOOP");
}

TEST_F(FtpTransfer, ListingSwitchesTypeAndKeepsLinesAsSent)
{
    client.SetPassive(true);
    server.StandardLogin()
        .On("TYPE A", "200 ok")
        .Expect("PASV")
        .EnterPassive()
        .On("LIST *.*", "150 here")
        .SendData("-rw-r--r-- 1 u g 5 Jan 1 00:00 a.txt\r\ndrwx 2 u g 0 Jan 1 00:00 sub\r\n")
        .Reply("226 done")
        .On("TYPE I", "200 ok")
        .On("TYPE A", "200 ok")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST", "150 here")
        .SendData("one  \n\ntwo")
        .Reply("226 done")
        .On("TYPE I", "200 ok")
        .On("TYPE A", "200 ok")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST .in.x.", "550 No files found")
        .On("TYPE I", "200 ok")
        .On("TYPE A", "200 ok")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST", "150 here")
        .CloseDataAtOnce()
        .Reply("226 done")
        .On("TYPE I", "200 ok");
    ConnectLoggedIn();
    Strings lines;
    client.List(lines, "*.*", true);
    EXPECT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0].front(), '-');
    client.List(lines, "  ", false);
    EXPECT_EQ(lines, (Strings{"one  ", "", "two"}));
    EXPECT_THROW(client.List(lines, ".in.x.", false), EFtpReplyError);
    EXPECT_EQ(lines, (Strings{"one  ", "", "two"}));
    client.List(lines, "", false);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(client.TransferType(), FtpTransferType::ftBinary);
    ExpectScriptPlayed();
}

TEST_F(FtpTransfer, RefusedPortAndTheAnnouncedAddress)
{
    client.SetExternalIP("10.1.2.3");
    server.StandardLogin().Expect("PORT 10,1,2,3,*").Reply("500 Illegal PORT command");
    ConnectLoggedIn();
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Get("a", folder / "a", true, false); }),
              "Illegal PORT command\r\n");
    EXPECT_EQ(statuses, (std::vector<FtpStatus>{FtpStatus::ftpTransfer, FtpStatus::ftpAborted}));
    ExpectScriptPlayed();
}

TEST_F(FtpTransfer, FailingTypeRestoreIsTheErrorSeen)
{
    client.SetPassive(true);
    server.StandardLogin()
        .On("TYPE A", "200 ok")
        .Expect("PASV")
        .EnterPassive()
        .On("NLST", "550 No files")
        .On("TYPE I", "421 Service closing");
    ConnectLoggedIn();
    std::vector<std::string> lines{"kept"};
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.List(lines, "", false); }), "Service closing\r\n");
    EXPECT_EQ(lines, Strings{"kept"});
    EXPECT_EQ(client.TransferType(), FtpTransferType::ftBinary);
    // The server's type is unknown now: the session ends instead of risking recoded files.
    EXPECT_FALSE(client.Connected());
    EXPECT_EQ(disconnectedEvents, 1);
    ExpectScriptPlayed();
}

TEST_F(FtpTransfer, SimpleCommands)
{
    server.StandardLogin()
        .On("SIZE a", "213 1234")
        .On("SIZE b", "213 File size: 1234")
        .On("SIZE c", "550 No such file")
        .On("SIZE big", "213 5000000000")
        .On("DELE a", "200 Odd answer")
        .On("DELE b", "250 Deleted")
        .On("CWD .", "250 ok")
        .On("CDUP", "200 ok")
        .On("NOOP", "200 ok");
    ConnectLoggedIn();
    EXPECT_EQ(client.Size("a"), 1234);
    EXPECT_EQ(client.Size("b"), -1);
    EXPECT_EQ(client.Size("c"), -1);
    EXPECT_EQ(client.Size("big"), 5000000000LL);
    EXPECT_EQ(MessageOf<EFtpReplyError>([&] { client.Delete("a"); }), "Odd answer\r\n");
    client.Delete("b");
    client.ChangeDir(".");
    client.ChangeDirUp();
    client.Noop();
    ExpectScriptPlayed();
}

} // namespace ornel::test
