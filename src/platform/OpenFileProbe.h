// Tells whether another program still has a file open: the stand-in for Windows' exclusive
// sharing, which tells a file that is still being written from a complete one. One probe per
// pass over a folder (SendFiles makes one per cycle); one thread.
#pragma once

#include <filesystem>
#include <memory>

namespace ornel
{

class OpenFileProbe
{
public:
    OpenFileProbe();
    ~OpenFileProbe();
    OpenFileProbe(const OpenFileProbe&) = delete;
    OpenFileProbe& operator=(const OpenFileProbe&) = delete;

    // True when the file can be opened for reading and writing and no process (this one
    // included) holds it open, maps it or locks it. Asked of the kernel for each file in
    // microseconds where it answers (a write lease, taken and given back at once); where it
    // does not (a file of another owner, a network file system) the open files of every
    // visible process are read once for the probe's life, so a file opened after that is
    // not seen, nor processes of other users without privileges.
    [[nodiscard]] bool IsFree(const std::filesystem::path& file);

    // How the last answer was found: by the kernel, or from the snapshot of open files.
    [[nodiscard]] bool LastAnsweredByKernel() const { return m_byKernel; }

private:
    struct Snapshot;
    std::unique_ptr<Snapshot> m_snapshot;
    bool m_byKernel = false;
};

} // namespace ornel
