#include "support/UnpackedFtpServer.h"

#include "support/RealFtpServer.h"

#include <crypt.h>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <random>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace ornel::test
{

namespace
{

namespace fs = std::filesystem;

struct ServingUser
{
    uid_t uid;
    gid_t gid;
    std::string group;
};

ServingUser Nobody()
{
    const passwd* account = ::getpwnam("nobody");
    if (account == nullptr) {
        throw std::runtime_error("the system has no user \"nobody\" to serve files as");
    }
    const group* primary = ::getgrgid(account->pw_gid);
    return {account->pw_uid, account->pw_gid, primary != nullptr ? primary->gr_name : "nogroup"};
}

void HandOver(const fs::path& root, const ServingUser& user)
{
    ::chown(root.c_str(), user.uid, user.gid);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        ::lchown(entry.path().c_str(), user.uid, user.gid);
    }
}

// A SHA-512 crypt hash with a fresh salt, the form both servers' password files take.
std::string PasswordHash(const std::string& password)
{
    static const char kSaltChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789./";
    std::random_device random;
    std::string setting = "$6$";
    for (int i = 0; i < 16; ++i) {
        setting += kSaltChars[random() % (sizeof(kSaltChars) - 1)];
    }
    crypt_data data{};
    const char* hash = ::crypt_r(password.c_str(), setting.c_str(), &data);
    if (hash == nullptr || hash[0] == '*') {
        throw std::runtime_error("cannot hash the test account's password");
    }
    return hash;
}

void RunToEnd(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(argv[0] + " failed");
    }
}

// A passive range of its own for each control port, apart from the one RealFtpServer uses
// and below the system's ephemeral ports.
std::pair<int, int> PassiveRange(int port)
{
    const int first = 5000 + (port % 100) * 50;
    return {first, first + 49};
}

fs::path Program(UnpackedFtpServer::Kind kind, const fs::path& unpacked)
{
    return unpacked / (kind == UnpackedFtpServer::Kind::PureFtpd ? "usr/sbin/pure-ftpd" : "usr/sbin/proftpd");
}

std::string ReadText(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string UnpackedFtpServer::Missing(Kind kind, const fs::path& unpacked)
{
    if (::geteuid() != 0) {
        return "needs root to change to the served folder and its user";
    }
    std::error_code ec;
    if (!fs::exists(Program(kind, unpacked), ec)) {
        return Program(kind, unpacked).string() + " is missing; scripts/fetch-ftp-servers.sh " +
               unpacked.parent_path().string() + " unpacks it";
    }
    return {};
}

std::unique_ptr<UnpackedFtpServer> UnpackedFtpServer::Start(Kind kind, const fs::path& unpacked,
                                                            const fs::path& root)
{
    std::unique_ptr<UnpackedFtpServer> server(new UnpackedFtpServer());
    HandOver(root, Nobody());
    server->m_port = ReservedServerPort();
    if (kind == Kind::PureFtpd) {
        server->StartPureFtpd(unpacked, root);
    } else {
        server->StartProftpd(unpacked, root);
    }
    return server;
}

UnpackedFtpServer::~UnpackedFtpServer() = default;

void UnpackedFtpServer::StartPureFtpd(const fs::path& unpacked, const fs::path& root)
{
    const ServingUser nobody = Nobody();
    const fs::path passwd = m_work / "pureftpd.passwd";
    const fs::path db = m_work / "pureftpd.pdb";
    // "/./" at the end of the home makes it the account's chroot.
    std::ofstream(passwd) << m_user << ':' << PasswordHash(m_password) << ':' << nobody.uid << ':'
                          << nobody.gid << "::" << root.string() << "/./::::::::::::\n";
    RunToEnd({(unpacked / "usr/bin/pure-pw").string(), "mkdb", db.string(), "-f", passwd.string()});
    const auto [low, high] = PassiveRange(m_port);
    // The server keeps a folder of session records under /run; it gets a /run of its own, so
    // that nothing of it stays on the host.
    m_process = ServerProcess({"/usr/bin/unshare",
                               "--mount",
                               "--propagation",
                               "private",
                               "--",
                               "/bin/sh",
                               "-c",
                               "mount -t tmpfs -o size=1m,mode=755 ornel-test-run /run && exec \"$0\" \"$@\"",
                               (unpacked / "usr/sbin/pure-ftpd").string(),
                               "-S",
                               "127.0.0.1," + std::to_string(m_port),
                               "-l",
                               "puredb:" + db.string(),
                               "-E",
                               "-A",
                               "-H",
                               "-4",
                               "-p",
                               std::to_string(low) + ":" + std::to_string(high),
                               "-g",
                               (m_work / "pure-ftpd.pid").string(),
                               "-f",
                               "none"},
                              m_work / "server.log", m_port);
}

void UnpackedFtpServer::StartProftpd(const fs::path& unpacked, const fs::path& root)
{
    const ServingUser nobody = Nobody();
    const fs::path passwd = m_work / "proftpd.passwd";
    const fs::path groups = m_work / "proftpd.group";
    std::ofstream(passwd) << m_user << ':' << PasswordHash(m_password) << ':' << nobody.uid << ':'
                          << nobody.gid << "::" << root.string() << ":/bin/false\n";
    std::ofstream(groups) << nobody.group << ":x:" << nobody.gid << ":\n";
    fs::permissions(passwd, fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(groups, fs::perms::owner_read | fs::perms::owner_write);
    const auto [low, high] = PassiveRange(m_port);
    const fs::path config = m_work / "proftpd.conf";
    std::ofstream(config)
        << "ServerName \"ornel test\"\nServerType standalone\nPort " << m_port
        << "\nDefaultAddress 127.0.0.1\nSocketBindTight on\nUseIPv6 off\nUser nobody\nGroup " << nobody.group
        << "\nPidFile " << (m_work / "proftpd.pid").string() << "\nScoreboardFile "
        << (m_work / "proftpd.scoreboard").string()
        << "\nDelayTable none\nWtmpLog off\nTransferLog none\nSystemLog " << (m_work / "system.log").string()
        << "\nExtendedLog " << (m_work / "commands.log").string()
        << " ALL\nAuthOrder mod_auth_file.c\nAuthUserFile " << passwd.string() << "\nAuthGroupFile "
        << groups.string() << "\nRequireValidShell off\nDefaultRoot ~\nPassivePorts " << low << ' ' << high
        << "\nUseReverseDNS off\nControlsEngine off\nUmask 022\nAllowOverwrite on\n";
    m_process = ServerProcess({(unpacked / "usr/sbin/proftpd").string(), "-n", "-c", config.string()},
                              m_work / "server.log", m_port);
}

std::string UnpackedFtpServer::Log() const
{
    return m_process.Output() + ReadText(m_work / "system.log") + ReadText(m_work / "commands.log");
}

} // namespace ornel::test
