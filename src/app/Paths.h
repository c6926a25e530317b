// Where the agent's files live when the command line does not say. Two layouts, fixed when
// the build is configured: the build folder (development, tests, demo) and the installed
// system layout. Used by main() and the front ends before anything is opened.
#pragma once

#include "platform/ProgramFolder.h"
#include "platform/RegistryStore.h"

#include <filesystem>
#include <string>

namespace ornel
{

// The settings store's two parts: the machine-wide one (configuration, counters, the
// store's lock files) and the per-user one (window placement).
struct StoreFolders
{
    std::filesystem::path Machine;
    std::filesystem::path User;
    // The values are in the system registry (Windows); the folders then hold only the
    // one-agent lock and a site's own contacts file.
    bool SystemRegistry = false;
};

// --registry-dir, else ORNEL_FTP_REGISTRY_DIR, keeps both parts in that one folder. Else, on
// a system with a registry, the settings are in the registry and the folders are the
// program's own (beside its journal); the build layout keeps both in ~/.config/ornel_ftp;
// the system layout keeps the machine-wide part in its store folder (/etc/ornel-ftp) and
// the per-user part in ~/.config/ornel_ftp.
[[nodiscard]] StoreFolders ResolveStoreFolders(const std::string& commandLineDir);
[[nodiscard]] RegistryStore OpenSettingsStore(const std::string& commandLineDir);

// The journal when --journal names none: ornel_ftp.db beside the executable, or in the
// state folder (/var/lib/ornel-ftp) of the system layout.
[[nodiscard]] std::filesystem::path DefaultJournalFile();

// Where the daily log goes: the working folder at start-up, or the log folder of the system
// layout (/var/log/ornel-ftp) whatever the working folder, so that the tray application, the
// service and a cycle started by hand keep one record of the machine's exchange.
[[nodiscard]] std::filesystem::path LogFolder();

// The read-only files shipped with the program: beside the executable, or in the data
// folder of the system layout (/usr/share/ornel-ftp).
[[nodiscard]] std::filesystem::path DataFolder();

// The defaults above in words, for --help: the store folder(s) and the log folder.
[[nodiscard]] std::string DefaultStoreText();
[[nodiscard]] std::string DefaultLogText();

// The system layout shares the store, the journal and the logs with one group through
// set-group-ID folders; what the agent creates must be readable and writable by that group
// and by nobody else, whatever the umask of the session that started it, or a file made by
// one member (or by root) would lock the others out. Sets the file-creation mask to 007
// there; leaves it alone in the build layout.
void ApplyLayoutFileMask();

// A file made in a set-group-ID folder belongs to the folder's group: gives that group read
// and write access to it. Leaves files in other folders as they are.
void ShareWithFolderGroup(const std::filesystem::path& file);

// The contacts file installed with the program: ORNEL_CONTACTS_FILE of the build (CMake),
// a relative path taken from the data folder above ("contacts.txt" there by default).
[[nodiscard]] std::filesystem::path InstalledContactsFile();
// The contacts the desktop shows: "contacts.txt" in the store folder when there is one
// there, else the installed file.
[[nodiscard]] std::filesystem::path ContactsFile(const std::filesystem::path& storeFolder);

} // namespace ornel
