#include "platform/FileSnapshot.h"

#include "support/ErrorOf.h"
#include "support/TempFolder.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ornel::test
{

TEST(FileSnapshot, OneStatTellsWhetherTheNameStillHoldsWhatWasRead)
{
    const TempFolder folder;
    const auto file = folder / "hklm.reg";
    std::string content = "stale";
    const FileSnapshot missing = FileSnapshot::Read(file, 100, content);
    EXPECT_FALSE(missing.Exists());
    EXPECT_EQ(content, "");
    EXPECT_TRUE(missing.IsCurrent());
    WriteFile(file, "first");
    EXPECT_FALSE(missing.IsCurrent());

    const FileSnapshot first = FileSnapshot::Read(file, 100, content);
    EXPECT_EQ(content, "first");
    EXPECT_TRUE(first.IsCurrent());
    EXPECT_TRUE(first.IsCurrent());

    // A replacement of the same size carrying the old times, as a coarse clock can give two
    // quick saves: the replaced file is still held open, so the new one has another inode.
    struct stat before
    {
    };
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    WriteFile(folder / "hklm.reg.tmp", "fresh");
    std::filesystem::rename(folder / "hklm.reg.tmp", file);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_FALSE(first.IsCurrent());

    const FileSnapshot second = FileSnapshot::Read(file, 100, content);
    EXPECT_EQ(content, "fresh");
    EXPECT_TRUE(second.IsCurrent());
    std::ofstream(file, std::ios::app) << "\n"; // an edit in place, by hand
    EXPECT_FALSE(second.IsCurrent());
    std::filesystem::remove(file);
    EXPECT_FALSE(second.IsCurrent());
    EXPECT_FALSE(FileSnapshot().IsCurrent());
}

TEST(FileSnapshot, RefusesAFolderAndAnythingAboveTheLimit)
{
    const TempFolder folder;
    EXPECT_NE(ErrorOf([&] { (void)ReadWholeFile(folder.Path(), 100); }).find("folder"), std::string::npos);

    WriteFile(folder / "limit", std::string(100, 'x'));
    EXPECT_EQ(ReadWholeFile(folder / "limit", 100)->size(), 100u);
    WriteFile(folder / "over", std::string(101, 'x'));
    EXPECT_NE(ErrorOf([&] { (void)ReadWholeFile(folder / "over", 100); }).find("larger than 100 bytes"),
              std::string::npos);
    EXPECT_FALSE(ReadWholeFile(folder / "missing" / "file").has_value());
}

} // namespace ornel::test
