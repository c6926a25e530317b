// A server program started by a test: run in a process group of its own with its output in a
// log file, waited for until it greets on its port, and stopped by its PID (with the session
// processes it forked) when the handle goes. Test thread only; move-only.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace ornel::test
{

class ServerProcess
{
public:
    ServerProcess() = default;
    // Starts argv[0] (a full path) and waits until a "220" greeting comes on 127.0.0.1:`port`;
    // throws with the server's output when it ends or stays silent.
    ServerProcess(const std::vector<std::string>& argv, const std::filesystem::path& log, int port);
    ~ServerProcess();
    ServerProcess(ServerProcess&& other) noexcept;
    ServerProcess& operator=(ServerProcess&& other) noexcept;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    [[nodiscard]] pid_t Pid() const { return m_pid; }
    [[nodiscard]] std::string Output() const;

private:
    void WaitForGreeting(int port);
    void Stop();

    pid_t m_pid = -1;
    std::filesystem::path m_log;
};

} // namespace ornel::test
