// A started child program: an argument list, no shell, and a poll of its end that never
// blocks. Owned by whoever started it; UI thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

// Why a program could not be started.
struct StartFailure
{
    enum class Kind
    {
        Missing,       // no such file (or no program given)
        NotExecutable, // there, but not a program this user may run
        Refused,       // the system would not start it
    };
    Kind What = Kind::Refused;
    std::string Detail; // the system's own words, with the path
};

// How a program's main window is first shown (where programs have windows).
enum class WindowShow
{
    Normal,
    Minimized,
    Maximized,
    Hidden,
};

// The show mode of a `WindowType` row of the options: 0 normal, 1 minimised, 2 maximised,
// 3 hidden. Any other number (only an edited store holds one) shows the window normally.
[[nodiscard]] WindowShow WindowShowOfType(int windowType);

class Process
{
public:
    // Starts `program` with `arguments` in `workingFolder` (empty: the current folder), in a
    // process group (a job on Windows) of its own, so that the program and whatever it
    // starts can be stopped together. A program path with a folder part ("/", on Windows
    // "\\" too) is taken relative to the current folder, one without is looked for in the
    // current folder and then on PATH (Windows: the system's search order). Returns nothing
    // (the reason in `failure`) when the program could not be started. `show` applies where
    // programs have windows (Windows).
    [[nodiscard]] static std::optional<Process> Start(const std::string& program,
                                                      const std::vector<std::string>& arguments,
                                                      const std::filesystem::path& workingFolder,
                                                      StartFailure* failure = nullptr,
                                                      WindowShow show = WindowShow::Normal);

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

    [[nodiscard]] int Id() const { return m_id; }
    // The exit code once the program has ended (on POSIX 128 + signal number when it was
    // killed), nothing while it runs. Never blocks.
    [[nodiscard]] std::optional<int> TryWait();
    // The signal that ended the program; 0 while it runs, when it exited by itself, and
    // always on Windows.
    [[nodiscard]] int EndingSignal() const { return m_signal; }

    // Ends the program and every process of its group: a request to end first (SIGTERM; on
    // Windows Ctrl+Break, which only a console program sharing our console hears), then,
    // after `grace` or as soon as the program itself has ended, SIGKILL for whatever of the
    // group is left (on Windows: the job is terminated). Waits for the program (bounded) and
    // returns its exit code as TryWait does; nothing when it could not be reaped.
    std::optional<int> StopGroup(std::chrono::milliseconds grace);

private:
    // The system's handles (Windows: the process and its job); unused on POSIX.
    using Handle = std::intptr_t;
    Process(int id, Handle process, Handle group);

    int m_id = -1;
    Handle m_process = 0;
    Handle m_group = 0;
    std::optional<int> m_exitCode;
    int m_signal = 0;
};

} // namespace ornel
