#include "support/RealFtpServer.h"

#include "platform/Socket.h"

#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace ornel::test
{

namespace
{

constexpr const char* kWorkDirPrefix = "ornel-ftpd-";
// Held locked by the process that owns the folder for as long as its server runs.
constexpr const char* kOwnerLock = "owner.lock";
constexpr const char* kUnshare = "/usr/bin/unshare";
constexpr const char* kVsftpd = "/usr/sbin/vsftpd";
constexpr const char* kDbLoad = "/usr/bin/db5.3_load";
// The account the virtual user works as; Debian's vsftpd package creates it.
constexpr const char* kGuestAccount = "ftp";
constexpr const char* kPamService = "ornel-ftpd";

// Runs a set-up command to its end, feeding `input` to it; returns its exit status.
int RunCommand(const std::string& command, const std::string& input = {})
{
    FILE* pipe = ::popen((command + " >/dev/null 2>&1").c_str(), "w");
    if (pipe == nullptr) {
        return -1;
    }
    if (!input.empty()) {
        std::fwrite(input.data(), 1, input.size(), pipe);
    }
    return ::pclose(pipe);
}

bool Executable(const char* path)
{
    return ::access(path, X_OK) == 0;
}

// Work folders of servers whose test process died without cleaning up (killed, crashed):
// nobody holds their owner lock any more.
void RemoveAbandonedWorkDirs()
{
    std::error_code ec;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), ec)) {
        if (entry.path().filename().string().rfind(kWorkDirPrefix, 0) != 0) {
            continue;
        }
        const int fd = ::open((entry.path() / kOwnerLock).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue; // not ours, or still being set up
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::filesystem::remove_all(entry.path(), ec);
        }
        ::close(fd);
    }
}

// A private folder for the server's configuration and output. Its owner lock is taken
// before the lock file gets its name, so a sweep never sees a live folder unlocked.
std::filesystem::path MakeWorkDir(int& lockFd)
{
    RemoveAbandonedWorkDirs();
    std::string pattern =
        (std::filesystem::temp_directory_path() / (std::string(kWorkDirPrefix) + "XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a folder for the FTP server");
    }
    const std::filesystem::path folder = pattern;
    const auto unnamed = folder / "owner.lock.new";
    lockFd = ::open(unnamed.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0 || ::flock(lockFd, LOCK_EX) != 0 ||
        ::rename(unnamed.c_str(), (folder / kOwnerLock).c_str()) != 0) {
        throw std::runtime_error("cannot lock the FTP server's folder " + folder.string());
    }
    return folder;
}

std::string RandomPassword()
{
    std::ifstream random("/dev/urandom", std::ios::binary);
    unsigned char bytes[12] = {};
    if (!random.read(reinterpret_cast<char*>(bytes), sizeof bytes)) {
        throw std::runtime_error("cannot read /dev/urandom");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

// The virtual user's database and a PAM service that checks logins against it alone.
void WriteVirtualUser(const std::filesystem::path& workDir, const std::string& user,
                      const std::string& password)
{
    if (user.empty() || user.find_first_of("\r\n'") != std::string::npos ||
        password.find_first_of("\r\n") != std::string::npos) {
        throw std::runtime_error("unusable user name or password for vsftpd's virtual user");
    }
    const auto database = workDir / "users";
    if (RunCommand(std::string(kDbLoad) + " -T -t hash '" + database.string() + ".db'",
                   user + "\n" + password + "\n") != 0) {
        throw std::runtime_error(std::string("cannot write the virtual user database with ") + kDbLoad);
    }
    std::filesystem::create_directory(workDir / "pam.d");
    std::ofstream(workDir / "pam.d" / kPamService)
        << "auth required pam_userdb.so db=" << database.string()
        << "\naccount required pam_userdb.so db=" << database.string() << "\n";
}

void HandOver(const std::filesystem::path& root, const passwd& account)
{
    ::chown(root.c_str(), account.pw_uid, account.pw_gid);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        ::chown(entry.path().c_str(), account.pw_uid, account.pw_gid);
    }
}

// A passive range of its own for each control port, below the system's ephemeral ports.
std::pair<int, int> PassiveRange(int port)
{
    const int first = 10000 + (port % 400) * 50;
    return {first, first + 49};
}

} // namespace

bool RealFtpServer::PyftpdlibAvailable()
{
    return RunCommand("/usr/bin/python3 -c 'import pyftpdlib'") == 0;
}

std::string RealFtpServer::VsftpdUnavailable()
{
    if (::geteuid() != 0) {
        return "vsftpd needs root";
    }
    for (const char* program : {kVsftpd, kDbLoad, kUnshare}) {
        if (!Executable(program)) {
            return std::string(program) + " is not installed";
        }
    }
    if (::getpwnam(kGuestAccount) == nullptr) {
        return std::string("the account '") + kGuestAccount + "' of the vsftpd package is missing";
    }
    static const bool privateMounts =
        RunCommand(std::string(kUnshare) + " --mount --propagation private /bin/true") == 0;
    if (!privateMounts) {
        return "no private mount namespace for vsftpd's PAM service here";
    }
    return {};
}

std::unique_ptr<RealFtpServer> RealFtpServer::Prepare(const std::filesystem::path& root,
                                                      const std::string& user, const std::string& password)
{
    std::unique_ptr<RealFtpServer> server(new RealFtpServer());
    server->m_root = root;
    server->m_user = user;
    server->m_password = password;
    server->m_workDir = MakeWorkDir(server->m_workDirLock);
    server->m_port = ReservedServerPort();
    return server;
}

void RealFtpServer::Run(const std::vector<std::string>& argv)
{
    m_process = ServerProcess(argv, m_workDir / "server.log", m_port);
}

std::unique_ptr<RealFtpServer> RealFtpServer::StartPyftpdlib(const std::filesystem::path& root,
                                                             const std::string& user,
                                                             const std::string& password)
{
    auto server = Prepare(root, user, password);
    const auto [low, high] = PassiveRange(server->m_port);
    server->Run({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                 std::to_string(server->m_port), "-w", "-d", root.string(), "-u", user, "-P", password, "-r",
                 std::to_string(low) + "-" + std::to_string(high)});
    return server;
}

std::unique_ptr<RealFtpServer> RealFtpServer::StartSlowDemoServer(const std::filesystem::path& root,
                                                                  int bytesPerSecond, const std::string& user,
                                                                  const std::string& password)
{
    auto server = Prepare(root, user, password);
    const auto [low, high] = PassiveRange(server->m_port);
    server->Run({"/usr/bin/python3", ORNEL_DEMO_FTPD, "--port", std::to_string(server->m_port), "--root",
                 root.string(), "--user", user, "--password", password, "--passive",
                 std::to_string(low) + "-" + std::to_string(high), "--rate", std::to_string(bytesPerSecond)});
    return server;
}

std::unique_ptr<RealFtpServer> RealFtpServer::StartDemoServer(const std::filesystem::path& root,
                                                              const std::string& user,
                                                              const std::string& password)
{
    return StartSlowDemoServer(root, 0, user, password);
}

std::unique_ptr<RealFtpServer> RealFtpServer::StartVsftpd(const std::filesystem::path& root,
                                                          const std::string& user,
                                                          const std::string& password)
{
    if (const auto reason = VsftpdUnavailable(); !reason.empty()) {
        throw std::runtime_error("cannot start vsftpd: " + reason);
    }
    auto server = Prepare(root, user, password.empty() ? RandomPassword() : password);
    WriteVirtualUser(server->m_workDir, server->m_user, server->m_password);
    const passwd* guest = ::getpwnam(kGuestAccount);
    HandOver(root, *guest);
    const auto emptyDir = server->m_workDir / "empty";
    std::filesystem::create_directory(emptyDir);
    const auto [low, high] = PassiveRange(server->m_port);
    const auto config = server->m_workDir / "vsftpd.conf";
    std::ofstream(config) << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port="
                          << server->m_port
                          << "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
                          << "guest_enable=YES\nguest_username=" << kGuestAccount
                          << "\nvirtual_use_local_privs=YES\n"
                          << "local_root=" << root.string()
                          << "\nchroot_local_user=YES\nallow_writeable_chroot=YES\n"
                          << "pasv_enable=YES\npasv_min_port=" << low << "\npasv_max_port=" << high
                          << "\nport_enable=YES\nconnect_from_port_20=NO\nssl_enable=NO\nseccomp_sandbox="
                             "NO\ndelay_failed_login=0\n"
                          << "pam_service_name=" << kPamService << "\nsecure_chroot_dir=" << emptyDir.string()
                          << "\n";
    // The bind mount over /etc/pam.d exists only in the server's own mount namespace and
    // ends with its last process; the host's PAM configuration is never written.
    server->Run({kUnshare, "--mount", "--propagation", "private", "--", "/bin/sh", "-c",
                 "mount --bind \"$1\" /etc/pam.d && exec \"$2\" \"$3\"", "sh",
                 (server->m_workDir / "pam.d").string(), kVsftpd, config.string()});
    return server;
}

RealFtpServer::~RealFtpServer()
{
    m_process = ServerProcess(); // stopped before its folder goes
    std::error_code ec;
    std::filesystem::remove_all(m_workDir, ec);
    if (m_workDirLock >= 0) {
        ::close(m_workDirLock);
    }
}

} // namespace ornel::test
