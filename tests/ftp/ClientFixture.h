// Shared set-up of the FTP client tests: a client aimed at a scripted server, with short
// waits, recording its status reports and progress events.
#pragma once

#include "ftp/FtpClient.h"
#include "support/ScriptedFtpServer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ornel::test
{

struct WorkEvent
{
    std::string kind; // "begin", "work" or "end"
    WorkMode mode = WorkMode::wmRead;
    std::int64_t value = 0;
    bool operator==(const WorkEvent&) const = default;
};

class ClientFixture : public ::testing::Test
{
protected:
    ClientFixture()
    {
        client.SetHost("127.0.0.1");
        client.SetPort(server.Port());
        client.SetUsername("user");
        client.SetPassword("pass");
        client.SetReadTimeout(std::chrono::milliseconds(2000));
        client.SetReplyTimeout(std::chrono::milliseconds(5000));
        client.SetAcceptTimeout(std::chrono::milliseconds(3000));
        client.SetAcceptPollInterval(std::chrono::milliseconds(50));
        client.OnStatus = [this](FtpStatus status, const std::string& text) {
            statuses.push_back(status);
            statusTexts.push_back(text);
        };
        client.OnDisconnected = [this] { ++disconnectedEvents; };
        client.OnWorkBegin = [this](WorkMode mode, std::int64_t max) {
            work.push_back({"begin", mode, max});
        };
        client.OnWork = [this](WorkMode mode, std::int64_t count) { work.push_back({"work", mode, count}); };
        client.OnWorkEnd = [this](WorkMode mode) { work.push_back({"end", mode, 0}); };
    }

    // Plays the script against `Connect` after a standard login.
    void ConnectLoggedIn()
    {
        server.Start();
        client.Connect();
        statuses.clear();
        statusTexts.clear();
    }

    // Waits for the script and expects the client to have followed it.
    void ExpectScriptPlayed()
    {
        ASSERT_TRUE(server.WaitFinished());
        EXPECT_EQ(server.Mismatches(), std::vector<std::string>{});
    }

    [[nodiscard]] bool HasStatus(FtpStatus status) const
    {
        return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
    }

    ScriptedFtpServer server;
    FtpClient client;
    std::vector<FtpStatus> statuses;
    std::vector<std::string> statusTexts;
    std::vector<WorkEvent> work;
    int disconnectedEvents = 0;
};

// Runs `action` and returns the message of the exception of type E it throws (fails the
// test when it throws nothing or something else).
template <class E, class F> std::string MessageOf(F&& action)
{
    try {
        action();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected exception: " << e.what();
        return {};
    }
    ADD_FAILURE() << "no exception";
    return {};
}

} // namespace ornel::test
