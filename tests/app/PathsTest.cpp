#include "app/Paths.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ornel::test
{
namespace
{

unsigned Mode(const std::filesystem::path& path)
{
    struct stat st
    {
    };
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

TEST(Paths, ANamedStoreFolderHoldsBothHives)
{
    const StoreFolders folders = ResolveStoreFolders("/srv/agent/store");
    EXPECT_EQ(folders.Machine, "/srv/agent/store");
    EXPECT_EQ(folders.User, "/srv/agent/store");
    RegistryStore store = OpenSettingsStore("/srv/agent/store");
    EXPECT_EQ(store.HiveFile(Hive::LocalMachine), "/srv/agent/store/hklm.reg");
    EXPECT_EQ(store.HiveFile(Hive::CurrentUser), "/srv/agent/store/hkcu.reg");
}

TEST(Paths, AJournalMadeInAGroupFolderIsTheGroupsToo)
{
    TempFolder folder;
    const auto shared = folder / "shared";
    const auto own = folder / "own";
    std::filesystem::create_directories(shared);
    std::filesystem::create_directories(own);
    ASSERT_EQ(chmod(shared.c_str(), 02770), 0);
    for (const auto& dir : {shared, own}) {
        WriteFile(dir / "ornel_ftp.db", "x");
        ASSERT_EQ(chmod((dir / "ornel_ftp.db").c_str(), 0600), 0);
        ShareWithFolderGroup(dir / "ornel_ftp.db");
    }
    EXPECT_EQ(Mode(shared / "ornel_ftp.db"), 0660u);
    EXPECT_EQ(Mode(own / "ornel_ftp.db"), 0600u);
}

} // namespace
} // namespace ornel::test
