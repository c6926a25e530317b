#include "platform/ProgramFolder.h"

#include <string>
#include <windows.h>

namespace ornel
{

std::filesystem::path ExecutableFolder()
{
    // Long paths (beyond MAX_PATH) need a larger buffer: grow until the name fits.
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return std::filesystem::current_path();
        if (length < name.size()) {
            name.resize(length);
            return std::filesystem::path(name).parent_path();
        }
        name.resize(name.size() * 2);
    }
}

} // namespace ornel
