// A started child program: posix_spawn with an argument list, no shell, and a poll of its
// end that never blocks. Owned by whoever started it; UI thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

class Process
{
public:
    // Starts `program` with `arguments` in `workingFolder` (empty: the current folder). A
    // program path with a folder part is taken relative to the current folder, one without
    // is looked for in the current folder and then on PATH. Returns nothing (the reason in
    // `error`) when the program could not be started.
    [[nodiscard]] static std::optional<Process> Start(const std::string& program,
                                                      const std::vector<std::string>& arguments,
                                                      const std::filesystem::path& workingFolder,
                                                      std::string* error = nullptr);

    // The parameter text split at blanks, as a program started from a command line gets
    // it: runs of blanks separate, no quoting.
    [[nodiscard]] static std::vector<std::string> SplitParameters(std::string_view text);

    Process(Process&& other) noexcept;
    Process& operator=(Process&&) = delete;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    // A child still running is left to run; it is reaped when it ends if this process
    // lives that long.
    ~Process();

    [[nodiscard]] int Id() const { return m_pid; }
    // The exit code once the program has ended (128 + signal number when it was killed),
    // nothing while it runs. Never blocks.
    [[nodiscard]] std::optional<int> TryWait();

private:
    explicit Process(int pid);

    int m_pid = -1;
    std::optional<int> m_exitCode;
};

} // namespace ornel
