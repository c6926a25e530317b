// OpenFileProbe on Windows: an open without any sharing is refused with a sharing violation
// while another handle to the file is open, whoever holds it; the system answers for every
// file, so no snapshot is kept.
#include "platform/FileSystem.h"
#include "platform/OpenFileProbe.h"
#include "platform/win/FileHandle.h"

namespace ornel
{

struct OpenFileProbe::Snapshot
{
};

OpenFileProbe::OpenFileProbe() = default;
OpenFileProbe::~OpenFileProbe() = default;

bool OpenFileProbe::IsFree(const std::filesystem::path& file)
{
    m_byKernel = true;
    return CanOpenFileExclusive(file);
}

bool CanOpenFileExclusive(const std::filesystem::path& file)
{
    const win::FileHandle handle(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle.Valid();
}

} // namespace ornel
