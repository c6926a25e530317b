#include "support/RealFtpServer.h"

#include "platform/Socket.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ornel::test
{

namespace
{

constexpr std::chrono::seconds kStartTimeout{15};
constexpr std::chrono::seconds kStopTimeout{5};
constexpr std::chrono::milliseconds kPollStep{20};

std::filesystem::path MakeWorkDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ornel-ftpd-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a folder for the FTP server");
    }
    return pattern;
}

// Starts `argv` in a process group of its own, output to `log`; returns its PID.
pid_t Spawn(const std::vector<std::string>& argv, const std::filesystem::path& log)
{
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::to_string(rc));
    }
    return pid;
}

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

void WriteIfDifferent(const std::filesystem::path& file, const std::string& content)
{
    std::ifstream in(file);
    std::stringstream current;
    current << in.rdbuf();
    if (in && current.str() == content) {
        return;
    }
    std::ofstream(file, std::ios::trunc) << content;
}

// Tests run in parallel: useradd, chpasswd and the PAM file are touched by one at a time.
class SetupLock
{
public:
    SetupLock()
        : m_fd(::open("/tmp/ornel-vsftpd-setup.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0600))
    {
        if (m_fd >= 0) {
            ::flock(m_fd, LOCK_EX);
        }
    }
    ~SetupLock()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    SetupLock(const SetupLock&) = delete;
    SetupLock& operator=(const SetupLock&) = delete;

private:
    int m_fd;
};

void EnsureLocalAccount(const std::filesystem::path& root, const std::string& user,
                        const std::string& password)
{
    const SetupLock lock;
    {
        std::ifstream shells("/etc/shells");
        std::string line;
        bool listed = false;
        while (std::getline(shells, line)) {
            listed = listed || line == "/bin/false";
        }
        if (!listed) {
            std::ofstream("/etc/shells", std::ios::app) << "/bin/false\n";
        }
    }
    // The account's home is "/": vsftpd enters the home before local_root, and servers of
    // the same account started side by side each have a root of their own.
    if (::getpwnam(user.c_str()) == nullptr) {
        RunCommand("useradd -M -d / -s /bin/false " + user);
    } else {
        RunCommand("usermod -d / -s /bin/false " + user);
    }
    if (RunCommand("chpasswd", user + ":" + password + "\n") != 0) {
        throw std::runtime_error("chpasswd failed for " + user);
    }
    WriteIfDifferent("/etc/pam.d/vsftpd", "auth required pam_unix.so\naccount required pam_unix.so\n");
    std::filesystem::create_directories("/var/run/vsftpd/empty");
    const passwd* account = ::getpwnam(user.c_str());
    if (account == nullptr) {
        throw std::runtime_error("cannot create the local account " + user);
    }
    ::chown(root.c_str(), account->pw_uid, account->pw_gid);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        ::chown(entry.path().c_str(), account->pw_uid, account->pw_gid);
    }
}

// A passive range of its own for each control port, below the system's ephemeral ports.
std::pair<int, int> PassiveRange(int port)
{
    const int first = 10000 + (port % 400) * 50;
    return {first, first + 49};
}

} // namespace

int FreeLoopbackPort()
{
    Socket probe = Socket::CreateTcp();
    probe.Bind("127.0.0.1", 0);
    return probe.LocalPort();
}

bool RealFtpServer::PyftpdlibAvailable()
{
    return RunCommand("/usr/bin/python3 -c 'import pyftpdlib'") == 0;
}

std::unique_ptr<RealFtpServer> RealFtpServer::Prepare(const std::filesystem::path& root,
                                                      const std::string& user, const std::string& password)
{
    std::unique_ptr<RealFtpServer> server(new RealFtpServer());
    server->m_root = root;
    server->m_user = user;
    server->m_password = password;
    server->m_workDir = MakeWorkDir();
    server->m_port = FreeLoopbackPort();
    return server;
}

std::unique_ptr<RealFtpServer> RealFtpServer::StartPyftpdlib(const std::filesystem::path& root,
                                                             const std::string& user,
                                                             const std::string& password)
{
    auto server = Prepare(root, user, password);
    const auto [low, high] = PassiveRange(server->m_port);
    server->m_pid = Spawn({"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                           std::to_string(server->m_port), "-w", "-d", root.string(), "-u", user, "-P",
                           password, "-r", std::to_string(low) + "-" + std::to_string(high)},
                          server->m_workDir / "server.log");
    server->WaitUntilAccepting();
    return server;
}

std::unique_ptr<RealFtpServer> RealFtpServer::StartSlowDemoServer(const std::filesystem::path& root,
                                                                  int bytesPerSecond, const std::string& user,
                                                                  const std::string& password)
{
    auto server = Prepare(root, user, password);
    const auto [low, high] = PassiveRange(server->m_port);
    server->m_pid =
        Spawn({"/usr/bin/python3", ORNEL_DEMO_FTPD, "--port", std::to_string(server->m_port), "--root",
               root.string(), "--user", user, "--password", password, "--passive",
               std::to_string(low) + "-" + std::to_string(high), "--rate", std::to_string(bytesPerSecond)},
              server->m_workDir / "server.log");
    server->WaitUntilAccepting();
    return server;
}

std::unique_ptr<RealFtpServer> RealFtpServer::StartVsftpd(const std::filesystem::path& root,
                                                          const std::string& user,
                                                          const std::string& password)
{
    if (::geteuid() != 0) {
        throw std::runtime_error("vsftpd needs root to start");
    }
    std::unique_ptr<RealFtpServer> server(new RealFtpServer());
    server->m_root = root;
    server->m_user = user;
    server->m_password = password;
    server->m_workDir = MakeWorkDir();
    EnsureLocalAccount(root, user, password);
    server->m_port = FreeLoopbackPort();
    const auto [low, high] = PassiveRange(server->m_port);
    const auto config = server->m_workDir / "vsftpd.conf";
    std::ofstream(config) << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port="
                          << server->m_port
                          << "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
                          << "local_root=" << root.string()
                          << "\nchroot_local_user=YES\nallow_writeable_chroot=YES\n"
                          << "pasv_enable=YES\npasv_min_port=" << low << "\npasv_max_port=" << high
                          << "\nport_enable=YES\nconnect_from_port_20=NO\nssl_enable=NO\nseccomp_sandbox=NO\n"
                          << "pam_service_name=vsftpd\nsecure_chroot_dir=/var/run/vsftpd/empty\n";
    server->m_pid = Spawn({"/usr/sbin/vsftpd", config.string()}, server->m_workDir / "server.log");
    server->WaitUntilAccepting();
    return server;
}

void RealFtpServer::WaitUntilAccepting()
{
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("the FTP server ended at start: " + Log());
        }
        try {
            Socket probe = Socket::CreateTcp();
            probe.Connect("127.0.0.1", m_port);
            // A greeting shows that the server is past its start-up, not just listening.
            if (probe.WaitReadable(std::chrono::seconds(2))) {
                char buffer[4] = {};
                if (probe.Receive(buffer, 3) == 3 && std::string(buffer, 3) == "220") {
                    return;
                }
            }
        } catch (const SocketError&) {
            // Not listening yet.
        }
        std::this_thread::sleep_for(kPollStep);
    }
    throw std::runtime_error("the FTP server did not accept connections: " + Log());
}

RealFtpServer::~RealFtpServer()
{
    if (m_pid > 0) {
        // The group holds the server and the session processes it forked, nothing else.
        ::kill(-m_pid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
        int status = 0;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(-m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(kPollStep);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(m_workDir, ec);
}

std::string RealFtpServer::Log() const
{
    std::ifstream in(m_workDir / "server.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace ornel::test
