// vsftpd as the tests start it: it lets in only its own user with its own password, and the
// host's accounts and authentication configuration are the same before, while and after
// it runs.
#include "ftp/FtpClient.h"
#include "ftp/FtpErrors.h"
#include "support/RealFtpServer.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>

namespace ornel::test
{

namespace
{

namespace fs = std::filesystem;

using HostState = std::map<std::string, std::size_t>;

// Every entry of the account databases by its name, the login shells and every PAM
// service, each by a digest of its content (the content itself, shadow included, never
// reaches a test's output), so that a change names the account or file it touched.
HostState AccountsAndAuthentication()
{
    HostState state;
    std::error_code ec;
    for (const char* file : {"/etc/passwd", "/etc/shadow", "/etc/group", "/etc/gshadow"}) {
        std::istringstream lines(fs::is_regular_file(file, ec) ? ReadFile(file) : std::string());
        for (std::string line; std::getline(lines, line);) {
            state[std::string(file) + " " + line.substr(0, line.find(':'))] = std::hash<std::string>{}(line);
        }
    }
    const auto add = [&state](const fs::path& file) {
        std::error_code error;
        state[file.string()] =
            fs::is_regular_file(file, error) ? std::hash<std::string>{}(ReadFile(file)) : 0;
    };
    add("/etc/shells");
    for (const auto& entry : fs::directory_iterator("/etc/pam.d", ec)) {
        add(entry.path());
    }
    return state;
}

std::vector<std::string> Changed(const HostState& before, const HostState& after)
{
    std::vector<std::string> changed;
    for (const auto& [file, digest] : after) {
        const auto old = before.find(file);
        if (old == before.end() || old->second != digest) {
            changed.push_back(file);
        }
    }
    for (const auto& [file, digest] : before) {
        if (after.count(file) == 0) {
            changed.push_back(file + " (removed)");
        }
    }
    return changed;
}

void Configure(FtpClient& client, const RealFtpServer& server, const std::string& password)
{
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetUsername(server.User());
    client.SetPassword(password);
    client.SetPassive(true);
    client.SetReadTimeout(std::chrono::seconds(10));
    client.SetReplyTimeout(std::chrono::seconds(30));
}

} // namespace

TEST(VsftpdSetup, OnlyItsOwnUserGetsInAndTheHostIsLeftAsItWas)
{
    if (const auto reason = RealFtpServer::VsftpdUnavailable(); !reason.empty()) {
        GTEST_SKIP() << reason;
    }
    const std::string user = "ornel-setup-check";
    const HostState before = AccountsAndAuthentication();
    TempFolder folder;
    // The guest account enters the root itself, so it must be able to reach it.
    fs::permissions(folder.Path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::create_directories(folder / "ftp");
    WriteFile(folder / "report.txt", "report");
    {
        const auto server = RealFtpServer::StartVsftpd(folder / "ftp", user);
        const auto other = RealFtpServer::StartVsftpd(folder / "ftp", user);
        EXPECT_GE(server->Password().size(), 16u);
        EXPECT_NE(server->Password(), other->Password()) << "every server has a password of its own";

        // The user is no account of this machine, and its PAM service is the server's alone.
        EXPECT_EQ(::getpwnam(user.c_str()), nullptr);
        EXPECT_FALSE(fs::exists("/etc/pam.d/ornel-ftpd"));

        FtpClient client;
        Configure(client, *server, server->Password());
        client.Connect();
        client.Put(folder / "report.txt", "report.txt", false);
        client.Disconnect();
        EXPECT_EQ(ReadFile(folder / "ftp" / "report.txt"), "report");
        struct stat info = {};
        ASSERT_EQ(::stat((folder / "ftp" / "report.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, ::getpwnam("ftp")->pw_uid) << "the session works as the guest account";

        for (const auto& [name, password] : {std::pair<std::string, std::string>{user, other->Password()},
                                             {user, server->Password() + "x"},
                                             {"root", server->Password()},
                                             {"ftp", server->Password()}}) {
            FtpClient stranger;
            Configure(stranger, *server, password);
            stranger.SetUsername(name);
            EXPECT_THROW(stranger.Connect(), EFtpReplyError) << name << " got in";
            stranger.Disconnect();
        }
        EXPECT_EQ(Changed(before, AccountsAndAuthentication()), std::vector<std::string>{})
            << "changed while vsftpd runs";
    }
    EXPECT_EQ(Changed(before, AccountsAndAuthentication()), std::vector<std::string>{})
        << "changed after vsftpd stopped";
}

} // namespace ornel::test
