// The client against a real server (pyftpdlib on 127.0.0.1), in both data connection modes.
#include "ftp/FtpClient.h"
#include "ftp/FtpErrors.h"
#include "support/RealFtpServer.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

namespace ornel::test
{

namespace
{

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (auto& c : data) {
        c = static_cast<char>(random() & 0xFF);
    }
    return data;
}

} // namespace

class FtpInterop : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        if (!RealFtpServer::PyftpdlibAvailable()) {
            GTEST_SKIP() << "pyftpdlib is not installed for /usr/bin/python3";
        }
        std::filesystem::create_directories(serverRoot.Path() / "In");
        server = RealFtpServer::StartPyftpdlib(serverRoot.Path());
        client.SetHost("127.0.0.1");
        client.SetPort(server->Port());
        client.SetUsername(server->User());
        client.SetPassword(server->Password());
        client.SetPassive(GetParam());
        client.SetReadTimeout(std::chrono::seconds(10));
        client.SetReplyTimeout(std::chrono::seconds(30));
        client.SetAcceptTimeout(std::chrono::seconds(10));
        client.OnWork = [this](WorkMode mode, std::int64_t count) {
            if (mode == WorkMode::wmRead) {
                readCounts.push_back(count);
            } else {
                writeCounts.push_back(count);
            }
        };
        client.Connect();
        client.ChangeDir(".");
    }

    void TearDown() override
    {
        if (server) {
            EXPECT_NO_THROW(client.Disconnect());
        }
    }

    // Uploads `content` as `name` into In, checks size, listing and download, then deletes.
    void RoundTrip(const std::string& name, const std::string& content)
    {
        WriteFile(local / ("up-" + name), content);
        client.ChangeDir("In");
        client.Put(local / ("up-" + name), name, false);
        EXPECT_EQ(client.Size(name), static_cast<std::int64_t>(content.size()));

        std::vector<std::string> names;
        client.List(names, "", false);
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
        std::vector<std::string> details;
        client.List(details, "", true);
        ASSERT_EQ(details.size(), names.size());
        EXPECT_EQ(details.front().front(), '-');

        client.Get(name, local / ("down-" + name), true, false);
        EXPECT_TRUE(ReadFile(local / ("down-" + name)) == content) << name << " differs after the round trip";
        EXPECT_TRUE(ReadFile(serverRoot.Path() / "In" / name) == content);

        client.Delete(name);
        EXPECT_EQ(client.Size(name), -1);
        EXPECT_THROW(client.Delete(name), EFtpReplyError);
        client.ChangeDirUp();
    }

    TempFolder serverRoot;
    TempFolder local;
    std::unique_ptr<RealFtpServer> server;
    FtpClient client;
    std::vector<std::int64_t> readCounts;
    std::vector<std::int64_t> writeCounts;
};

TEST_P(FtpInterop, EmptyFileRoundTrip)
{
    RoundTrip("empty.dat", "");
}

TEST_P(FtpInterop, ProgressCountsOfA100000ByteFile)
{
    RoundTrip("hundred.dat", RandomBytes(100000, 1));
    const std::vector<std::int64_t> blocks{32768, 65536, 98304, 100000};
    // An upload counts what the server has taken: never ahead of the blocks written, never
    // going back, the whole file at the end.
    ASSERT_GE(writeCounts.size(), blocks.size());
    EXPECT_EQ(writeCounts.back(), 100000);
    for (std::size_t i = 0; i < writeCounts.size(); ++i) {
        EXPECT_LE(writeCounts[i], blocks[std::min(i, blocks.size() - 1)]);
        EXPECT_GE(writeCounts[i], i == 0 ? 0 : writeCounts[i - 1]);
    }
    // The listings count as reads too; the download's counts are the last ones.
    ASSERT_GE(readCounts.size(), blocks.size());
    EXPECT_EQ(std::vector<std::int64_t>(readCounts.end() - 4, readCounts.end()), blocks);
}

TEST_P(FtpInterop, SeveralMegabytesArriveByteForByte)
{
    RoundTrip("large.dat", RandomBytes(6 * 1024 * 1024 + 12345, 2));
}

TEST_P(FtpInterop, RefusalsLeaveTheSessionUsable)
{
    EXPECT_THROW(client.Get("absent.dat", local / "absent.dat", true, false), EFtpReplyError);
    EXPECT_FALSE(std::filesystem::exists(local / "absent.dat"));
    EXPECT_THROW(client.ChangeDir("NoSuchFolder"), EFtpReplyError);
    // The connection is still fine after refusals.
    client.Noop();
}

INSTANTIATE_TEST_SUITE_P(Modes, FtpInterop, ::testing::Values(true, false),
                         [](const auto& mode) { return mode.param ? "Passive" : "Active"; });

} // namespace ornel::test
