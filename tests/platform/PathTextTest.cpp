#include "platform/PathText.h"

#include "support/TempFolder.h"

#include <fstream>
#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

TEST(PathText, UnicodeNamesGoThroughPathsAndFilesUnchanged)
{
    // Outside the ANSI code page of a Russian Windows as well: the text must never pass
    // through it.
    const std::string name = "Отчёт № 5 — ελληνικά.txt";
    TempFolder folder;
    const std::filesystem::path file = folder.Path() / PathFromUtf8(name);
    WriteFile(file, "x");
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(PathToUtf8(file.filename()), name);
    EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{name});
}

TEST(PathText, EitherDelimiterSplitsAPath)
{
    EXPECT_EQ(LastPathDelim("C:\\DEPO\\Out\\*.*"), 11u);
    EXPECT_EQ(LastPathDelim("/srv/depo/out/*.*"), 13u);
    EXPECT_EQ(LastPathDelim("C:\\DEPO/Out"), 7u);
    EXPECT_EQ(LastPathDelim("clbat.exe"), std::string::npos);
    EXPECT_TRUE(IsPathDelim('\\'));
    EXPECT_TRUE(IsPathDelim('/'));
    EXPECT_FALSE(IsPathDelim(':'));
}

} // namespace
} // namespace ornel::test
