// Exchange cycles through the real engine against FTP servers of other makes on 127.0.0.1, in
// passive and active mode: pure-ftpd (refuses a masked name listing), ProFTPD, vsftpd and
// plain pyftpdlib (refuses every masked listing). A folder with a dot, a file the server will
// not hand out and hidden leftovers sit among the files that must get through.
#include "engine/CycleFixture.h"
#include "support/RealFtpServer.h"
#include "support/UnpackedFtpServer.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ornel::test
{
namespace
{

namespace fs = std::filesystem;

enum class Server
{
    PureFtpd,
    Proftpd,
    Vsftpd,
    Pyftpdlib,
};

struct Setup
{
    Server server;
    bool passive;
};

std::string SetupText(const Setup& setup)
{
    static const char* const kNames[] = {"pureftpd", "proftpd", "vsftpd", "pyftpdlib"};
    return std::string(kNames[static_cast<int>(setup.server)]) + (setup.passive ? "_passive" : "_active");
}

void PrintTo(const Setup& setup, std::ostream* out)
{
    *out << SetupText(setup);
}

class ServerInterop : public ::testing::TestWithParam<Setup>
{
protected:
    void SetUp() override
    {
        // Every server's session user must reach its root inside the private temp folder.
        fs::permissions(serverFolder.Path(), fs::perms::owner_all | fs::perms::group_read |
                                                 fs::perms::group_exec | fs::perms::others_read |
                                                 fs::perms::others_exec);
        fs::create_directories(serverRoot / "In");
        fs::create_directories(serverRoot / "Out");
        const Server kind = GetParam().server;
        if (kind == Server::PureFtpd || kind == Server::Proftpd) {
            const auto unpackedKind = kind == Server::PureFtpd ? UnpackedFtpServer::Kind::PureFtpd
                                                               : UnpackedFtpServer::Kind::Proftpd;
            const std::string missing = UnpackedFtpServer::Missing(unpackedKind, ORNEL_FTP_SERVERS_ROOT);
            if (::geteuid() != 0) {
                GTEST_SKIP() << missing;
            }
            ASSERT_TRUE(missing.empty()) << missing;
            unpacked = UnpackedFtpServer::Start(unpackedKind, ORNEL_FTP_SERVERS_ROOT, serverRoot);
            f.UseServer(unpacked->Port(), unpacked->User(), unpacked->Password());
        } else if (kind == Server::Vsftpd) {
            if (::geteuid() != 0 || !fs::exists("/usr/sbin/vsftpd")) {
                GTEST_SKIP() << "vsftpd needs root";
            }
            real = RealFtpServer::StartVsftpd(serverRoot);
            f.UseServer(real->Port(), real->User(), real->Password());
        } else {
            if (!RealFtpServer::PyftpdlibAvailable()) {
                GTEST_SKIP() << "pyftpdlib is not installed";
            }
            real = RealFtpServer::StartPyftpdlib(serverRoot);
            f.UseServer(real->Port(), real->User(), real->Password());
        }
        f.settings.Passive = GetParam().passive;
    }

    [[nodiscard]] std::string ServerLog() const { return unpacked ? unpacked->Log() : real->Log(); }
    // Files the server creates belong to its session user; the test's own stay root's.
    void ServerFile(const std::string& name, const std::string& content)
    {
        const fs::path file = serverRoot / name;
        WriteFile(file, content);
        struct stat folder = {};
        if (::stat(file.parent_path().c_str(), &folder) == 0) {
            ::chown(file.c_str(), folder.st_uid, folder.st_gid);
        }
    }
    // pyftpdlib serves as root here and can read any file; the others refuse a file of root's.
    [[nodiscard]] bool ServesAsRoot() const { return GetParam().server == Server::Pyftpdlib; }

    TempFolder serverFolder;
    fs::path serverRoot = serverFolder / "ftp";
    std::unique_ptr<UnpackedFtpServer> unpacked;
    std::unique_ptr<RealFtpServer> real;
    CycleFixture f;
};

TEST_P(ServerInterop, BothHalvesGetPastFoldersRefusedFilesAndUnmaskedListings)
{
    ServerFile("Out/a.txt", "first answer");
    ServerFile("Out/z.txt", std::string(70000, 'z'));
    ServerFile("Out/noext", "not matched by the mask");
    ServerFile("Out/.hidden.txt", "hidden, not matched by the mask");
    ServerFile("Out/dir.x/inner.txt", "inside a folder with a dot");
    ServerFile("In/.in.x.bin.", "half an upload");
    ServerFile("In/.in.other.bin.", "another upload's leftover");
    // A file of root's that only root may read, made after the servers handed their roots over.
    WriteFile(serverRoot / "Out/locked.txt", "not for the server's user");
    fs::permissions(serverRoot / "Out/locked.txt", fs::perms::owner_read | fs::perms::owner_write);
    WriteFile(f.tempSend / "x.bin", "the whole upload");

    f.cycle.RunReceiveSend();
    const std::string log = f.LogText() + ServerLog();

    std::vector<std::string> delivered = {"a.txt", "z.txt"};
    if (ServesAsRoot()) {
        delivered = {"a.txt", "locked.txt", "z.txt"};
    } else {
        EXPECT_TRUE(f.Logged("Файл locked.txt оставлен на FTP")) << log;
        EXPECT_EQ(ReadFile(serverRoot / "Out/locked.txt"), "not for the server's user");
    }
    EXPECT_EQ(CycleFixture::FilesIn(f.postBoxIn), delivered) << log;
    EXPECT_EQ(ReadFile(f.postBoxIn / "z.txt"), std::string(70000, 'z'));
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempReciv).empty()) << log;
    // What the mask leaves out and the folder stay where they are.
    EXPECT_EQ(ReadFile(serverRoot / "Out/noext"), "not matched by the mask");
    EXPECT_EQ(ReadFile(serverRoot / "Out/.hidden.txt"), "hidden, not matched by the mask");
    EXPECT_EQ(ReadFile(serverRoot / "Out/dir.x/inner.txt"), "inside a folder with a dot");
    EXPECT_FALSE(fs::exists(serverRoot / "Out/a.txt"));
    EXPECT_FALSE(fs::exists(serverRoot / "Out/z.txt"));

    // The outgoing half ran after all that, and found its own leftover only.
    EXPECT_TRUE(f.Logged("Найден временный файл .in.x.bin. удален")) << log;
    EXPECT_FALSE(fs::exists(serverRoot / "In/.in.x.bin."));
    EXPECT_EQ(ReadFile(serverRoot / "In/.in.other.bin."), "another upload's leftover");
    EXPECT_EQ(ReadFile(serverRoot / "In/x.bin"), "the whole upload") << log;
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempSend).empty());

    // The other way round, on the same server: a new file each way, the refused one still waits.
    WriteFile(f.postBoxOut / "report.txt", "second report");
    ServerFile("Out/b.txt", "second answer");
    f.cycle.RunSendReceive();
    const std::string second = f.LogText() + ServerLog();
    EXPECT_EQ(ReadFile(serverRoot / "In/report.txt"), "second report") << second;
    EXPECT_EQ(ReadFile(f.postBoxIn / "b.txt"), "second answer") << second;
    EXPECT_EQ(fs::exists(serverRoot / "Out/locked.txt"), !ServesAsRoot());
    EXPECT_GT(f.IndexOf("Приняли файл b.txt"), f.IndexOf("Передали файл report.txt"));
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerInterop,
                         ::testing::Values(Setup{Server::PureFtpd, true}, Setup{Server::PureFtpd, false},
                                           Setup{Server::Proftpd, true}, Setup{Server::Proftpd, false},
                                           Setup{Server::Vsftpd, true}, Setup{Server::Vsftpd, false},
                                           Setup{Server::Pyftpdlib, true}, Setup{Server::Pyftpdlib, false}),
                         [](const ::testing::TestParamInfo<Setup>& param) { return SetupText(param.param); });

} // namespace
} // namespace ornel::test
