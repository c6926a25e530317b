#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ornel
{

namespace
{

constexpr std::chrono::milliseconds kStopPoll{10};
// After SIGKILL the program ends as soon as the kernel gets to it; 5 s is far beyond that.
constexpr int kReapPolls = 500;

void SetFailure(StartFailure* failure, StartFailure::Kind kind, std::string detail)
{
    if (failure != nullptr) {
        failure->What = kind;
        failure->Detail = std::move(detail);
    }
}

StartFailure::Kind KindOf(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return StartFailure::Kind::Missing;
    case EACCES:
    case ENOEXEC:
    case EPERM:
        return StartFailure::Kind::NotExecutable;
    default:
        return StartFailure::Kind::Refused;
    }
}

bool IsExecutableFile(const std::filesystem::path& file)
{
    struct stat st
    {
    };
    return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

// Why `file` cannot be run, in the terms of StartFailure; nothing when it can.
std::optional<StartFailure> CheckRunnable(const std::string& file)
{
    struct stat st
    {
    };
    if (::stat(file.c_str(), &st) != 0) {
        const int err = errno;
        return StartFailure{KindOf(err), file + ": " + std::strerror(err)};
    }
    if (!S_ISREG(st.st_mode) || ::access(file.c_str(), X_OK) != 0) {
        return StartFailure{StartFailure::Kind::NotExecutable, file + ": not an executable file"};
    }
    return std::nullopt;
}

} // namespace

std::optional<Process> Process::Start(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::filesystem::path& workingFolder, StartFailure* failure,
                                      WindowShow /*show*/)
{
    if (program.empty()) {
        SetFailure(failure, StartFailure::Kind::Missing, "No program given");
        return std::nullopt;
    }
    // The child changes into the working folder before exec, so a relative program path is
    // made absolute first; a bare name is looked for here and then on PATH.
    std::string path = program;
    bool searchPath = false;
    if (program.find('/') != std::string::npos) {
        path = std::filesystem::absolute(program).string();
    } else if (IsExecutableFile(program)) {
        path = std::filesystem::absolute(program).string();
    } else {
        searchPath = true;
    }
    if (!searchPath) {
        if (auto why = CheckRunnable(path)) {
            SetFailure(failure, why->What, why->Detail);
            return std::nullopt;
        }
    }

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Only the standard streams go to the program: a connection or a file of ours left open
    // in a long-running child would outlive our own use of it.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    }
    // A group of its own, so the program and its helpers can be stopped together without
    // touching us; a clean signal mask and the default SIGTERM, so that request is heard.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &term);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = searchPath
                       ? ::posix_spawnp(&pid, path.c_str(), &actions, &attributes, argv.data(), environ)
                       : ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        SetFailure(failure, KindOf(rc), path + ": " + std::strerror(rc));
        return std::nullopt;
    }
    return Process(pid, 0, 0);
}

Process::Process(int id, Handle process, Handle group)
    : m_id(id)
    , m_process(process)
    , m_group(group)
{}

Process::Process(Process&& other) noexcept
    : m_id(other.m_id)
    , m_process(other.m_process)
    , m_group(other.m_group)
    , m_exitCode(other.m_exitCode)
    , m_signal(other.m_signal)
{
    other.m_id = -1;
}

Process::~Process()
{
    if (m_id > 0 && !m_exitCode) {
        (void)TryWait();
    }
}

std::optional<int> Process::TryWait()
{
    if (m_exitCode || m_id <= 0) {
        return m_exitCode;
    }
    int status = 0;
    const pid_t r = ::waitpid(m_id, &status, WNOHANG);
    if (r == m_id) {
        if (WIFEXITED(status)) {
            m_exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            m_signal = WTERMSIG(status);
            m_exitCode = 128 + m_signal;
        }
    } else if (r < 0 && errno == ECHILD) {
        m_exitCode = -1; // reaped elsewhere: it has ended, its code is lost
    }
    return m_exitCode;
}

std::optional<int> Process::StopGroup(std::chrono::milliseconds grace)
{
    // Once the program has been reaped its number may belong to someone else: the group is
    // signalled only while the program is known to be there, running or unreaped.
    if (m_id <= 0 || TryWait()) {
        return m_exitCode;
    }
    const auto ended = [this] {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(m_id), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid != 0;
    };
    ::kill(-m_id, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!ended() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kStopPoll);
    }
    ::kill(-m_id, SIGKILL); // helpers that outlived the program, or all of it
    for (int i = 0; i < kReapPolls && !TryWait(); ++i) {
        std::this_thread::sleep_for(kStopPoll);
    }
    return m_exitCode;
}

} // namespace ornel
