#include "app/Paths.h"

#include "app/InstallLayout.h"
#include "journal/Journal.h"
#include "platform/Environment.h"

#include <cstdlib>
#include <sys/stat.h>
#include <system_error>

namespace ornel
{

StoreFolders ResolveStoreFolders(const std::string& commandLineDir)
{
    const bool named = !commandLineDir.empty() || EnvironmentText("ORNEL_FTP_REGISTRY_DIR").has_value();
    if (!named && RegistryStore::HasSystemRegistry()) {
        // What an installation already holds is in the registry; one agent per program
        // folder, which is where its journal is.
        return StoreFolders{ExecutableFolder(), ExecutableFolder(), true};
    }
    // ResolveFolder applies --registry-dir, the environment and HOME in that order.
    const std::filesystem::path chosen = RegistryStore::ResolveFolder(commandLineDir);
    if (ORNEL_LAYOUT_SYSTEM && !named) {
        return StoreFolders{layout::kStoreFolder, chosen};
    }
    return StoreFolders{chosen, chosen};
}

RegistryStore OpenSettingsStore(const std::string& commandLineDir)
{
    StoreFolders folders = ResolveStoreFolders(commandLineDir);
    if (folders.SystemRegistry) {
        return RegistryStore::OpenSystemRegistry();
    }
    return RegistryStore(std::move(folders.Machine), std::move(folders.User));
}

std::filesystem::path DefaultJournalFile()
{
    if (ORNEL_LAYOUT_SYSTEM) {
        return std::filesystem::path(layout::kStateFolder) / Journal::kFileName;
    }
    return ExecutableFolder() / Journal::kFileName;
}

std::filesystem::path LogFolder()
{
    if (ORNEL_LAYOUT_SYSTEM) {
        return layout::kLogFolder;
    }
    return std::filesystem::current_path();
}

std::filesystem::path DataFolder()
{
    if (ORNEL_LAYOUT_SYSTEM) {
        return layout::kDataFolder;
    }
    return ExecutableFolder();
}

std::string DefaultStoreText()
{
    if (RegistryStore::HasSystemRegistry()) {
        return "the registry, HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP";
    }
    if (ORNEL_LAYOUT_SYSTEM) {
        return std::string(layout::kStoreFolder) + ", the per-user part in ~/.config/ornel_ftp";
    }
    return "~/.config/ornel_ftp";
}

std::string DefaultLogText()
{
    if (ORNEL_LAYOUT_SYSTEM) {
        return layout::kLogFolder;
    }
    return "the current working folder";
}

void ApplyLayoutFileMask()
{
    if (ORNEL_LAYOUT_SYSTEM) {
        ::umask(0007);
    }
}

void ShareWithFolderGroup(const std::filesystem::path& file)
{
    namespace fs = std::filesystem;
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    if ((fs::status(folder).permissions() & fs::perms::set_gid) != fs::perms::none) {
        fs::permissions(file, fs::perms::group_read | fs::perms::group_write, fs::perm_options::add);
    }
}

std::filesystem::path InstalledContactsFile()
{
    const std::filesystem::path configured(ORNEL_CONTACTS_FILE);
    return configured.is_absolute() ? configured : DataFolder() / configured;
}

std::filesystem::path ContactsFile(const std::filesystem::path& storeFolder)
{
    std::error_code ec;
    const std::filesystem::path own = storeFolder / "contacts.txt";
    return std::filesystem::is_regular_file(own, ec) ? own : InstalledContactsFile();
}

} // namespace ornel
