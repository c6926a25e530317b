// The agent binary as a real process for the front-end tests: started in a working folder
// with its output in a file, waited for with a bound, stopped by its PID.
#pragma once

#include "support/TempFolder.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ornel::test
{

inline pid_t StartAgent(const std::filesystem::path& workFolder, const std::vector<std::string>& args,
                        const std::filesystem::path& output)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(workFolder.c_str()) != 0) {
            _exit(126);
        }
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDOUT_FILENO);
        dup2(fd, STDERR_FILENO);
        std::vector<char*> argv;
        std::string program = ORNEL_FTP_PROGRAM;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

// Polls for the process's end for at most `limit`; -1 when it is still running.
inline int WaitForExit(pid_t pid, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

inline bool WaitForText(const std::filesystem::path& file, const std::string& text,
                        std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::exists(file) && ReadFile(file).find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

// Runs the agent to its end (at most `limit`); returns its exit status, -1 when it had to be
// killed. `output` receives what it printed.
inline int RunAgent(const std::filesystem::path& workFolder, const std::vector<std::string>& args,
                    const std::filesystem::path& output,
                    std::chrono::seconds limit = std::chrono::seconds(60))
{
    const pid_t pid = StartAgent(workFolder, args, output);
    const int status = WaitForExit(pid, limit);
    if (status == -1) {
        kill(pid, SIGKILL);
        WaitForExit(pid, std::chrono::seconds(5));
    }
    return status;
}

} // namespace ornel::test
