#include "app/Paths.h"

#include <system_error>

namespace ornel
{

std::filesystem::path ExecutableFolder()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return std::filesystem::current_path();
    }
    return exe.parent_path();
}

std::filesystem::path InstalledContactsFile()
{
    const std::filesystem::path configured(ORNEL_CONTACTS_FILE);
    return configured.is_absolute() ? configured : ExecutableFolder() / configured;
}

std::filesystem::path ContactsFile(const std::filesystem::path& storeFolder)
{
    std::error_code ec;
    const std::filesystem::path own = storeFolder / "contacts.txt";
    return std::filesystem::is_regular_file(own, ec) ? own : InstalledContactsFile();
}

} // namespace ornel
