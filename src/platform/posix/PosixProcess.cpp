#include "platform/Process.h"

#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ornel
{

namespace
{

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

bool IsExecutableFile(const std::filesystem::path& file)
{
    struct stat st
    {
    };
    return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(file.c_str(), X_OK) == 0;
}

} // namespace

std::vector<std::string> Process::SplitParameters(std::string_view text)
{
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
            ++i;
        }
        if (i > start) {
            parts.emplace_back(text.substr(start, i - start));
        }
    }
    return parts;
}

std::optional<Process> Process::Start(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::filesystem::path& workingFolder, std::string* error)
{
    if (program.empty()) {
        SetError(error, "No program given");
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
    if (!searchPath && !IsExecutableFile(path)) {
        SetError(error, "Cannot run " + path);
        return std::nullopt;
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
    pid_t pid = -1;
    const int rc = searchPath ? ::posix_spawnp(&pid, path.c_str(), &actions, nullptr, argv.data(), environ)
                              : ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        SetError(error, "Cannot run " + path + ": " + std::strerror(rc));
        return std::nullopt;
    }
    return Process(pid);
}

Process::Process(int pid)
    : m_pid(pid)
{}

Process::Process(Process&& other) noexcept
    : m_pid(other.m_pid)
    , m_exitCode(other.m_exitCode)
{
    other.m_pid = -1;
}

Process::~Process()
{
    if (m_pid > 0 && !m_exitCode) {
        (void)TryWait();
    }
}

std::optional<int> Process::TryWait()
{
    if (m_exitCode || m_pid <= 0) {
        return m_exitCode;
    }
    int status = 0;
    const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
        if (WIFEXITED(status)) {
            m_exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            m_exitCode = 128 + WTERMSIG(status);
        }
    } else if (r < 0 && errno == ECHILD) {
        m_exitCode = -1; // reaped elsewhere: it has ended, its code is lost
    }
    return m_exitCode;
}

} // namespace ornel
