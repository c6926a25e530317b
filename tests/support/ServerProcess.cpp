#include "support/ServerProcess.h"

#include "platform/Socket.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <utility>

extern char** environ;

namespace ornel::test
{

namespace
{

constexpr std::chrono::seconds kGreetingTimeout{15};
constexpr std::chrono::seconds kStopTimeout{5};
constexpr std::chrono::milliseconds kPollStep{20};

class SpawnSettings
{
public:
    explicit SpawnSettings(const std::filesystem::path& log)
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawnattr_init(&attributes);
        // A group of its own: the forked session processes are stopped with the server.
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    ~SpawnSettings()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    posix_spawn_file_actions_t actions{};
    posix_spawnattr_t attributes{};
};

bool Greets(int port)
{
    try {
        Socket probe = Socket::CreateTcp();
        probe.Connect("127.0.0.1", port);
        // A greeting shows that the server is past its start-up, not just listening.
        if (probe.WaitReadable(std::chrono::seconds(2))) {
            char buffer[3] = {};
            return probe.Receive(buffer, 3) == 3 && std::string(buffer, 3) == "220";
        }
    } catch (const SocketError&) {
        // Not listening yet.
    }
    return false;
}

} // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& argv, const std::filesystem::path& log, int port)
    : m_log(log)
{
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const SpawnSettings settings(log);
    const int rc =
        posix_spawn(&m_pid, args[0], &settings.actions, &settings.attributes, args.data(), environ);
    if (rc != 0) {
        m_pid = -1;
        throw std::runtime_error("cannot start " + argv[0] + ": error " + std::to_string(rc));
    }
    try {
        WaitForGreeting(port);
    } catch (...) {
        Stop();
        throw;
    }
}

ServerProcess::~ServerProcess()
{
    Stop();
}

ServerProcess::ServerProcess(ServerProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1))
    , m_log(std::move(other.m_log))
{}

ServerProcess& ServerProcess::operator=(ServerProcess&& other) noexcept
{
    if (this != &other) {
        Stop();
        m_pid = std::exchange(other.m_pid, -1);
        m_log = std::move(other.m_log);
    }
    return *this;
}

void ServerProcess::WaitForGreeting(int port)
{
    const auto deadline = std::chrono::steady_clock::now() + kGreetingTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("the FTP server ended at start: " + Output());
        }
        if (Greets(port)) {
            return;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    throw std::runtime_error("the FTP server did not greet on port " + std::to_string(port) + ": " +
                             Output());
}

void ServerProcess::Stop()
{
    if (m_pid <= 0) {
        return;
    }
    ::kill(-m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    siginfo_t info{};
    // The server is left unreaped until its group has been ended too: as long as it exists,
    // its number cannot pass to another process or group.
    while (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid != m_pid && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollStep);
    }
    ::kill(-m_pid, SIGKILL); // session processes that outlive the server, or a server that hangs
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

std::string ServerProcess::Output() const
{
    std::ifstream in(m_log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace ornel::test
