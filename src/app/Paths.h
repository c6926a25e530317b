// Where the agent's files live when the command line does not say.
#pragma once

#include <filesystem>

namespace ornel
{

// The folder of the running executable (for the journal beside it).
[[nodiscard]] std::filesystem::path ExecutableFolder();

// The contacts file installed with the program: ORNEL_CONTACTS_FILE of the build (CMake),
// a relative path taken from the program's folder ("contacts.txt" beside it by default).
[[nodiscard]] std::filesystem::path InstalledContactsFile();
// The contacts the desktop shows: "contacts.txt" in the store folder when there is one
// there, else the installed file.
[[nodiscard]] std::filesystem::path ContactsFile(const std::filesystem::path& storeFolder);

} // namespace ornel
