// The Windows file back ends under the engine: batches named only after their data is
// flushed and never over a file, the exclusive open as the still-open test, listings in
// UTF-8, and the engine's moves on Windows paths with names outside the ANSI code page.
#include "engine/FilesFixture.h"
#include "platform/CrashPoint.h"
#include "platform/FileBatch.h"
#include "platform/FileSystem.h"
#include "platform/OpenFileProbe.h"
#include "platform/PathText.h"

#include <gtest/gtest.h>
#include <string_view>
#include <windows.h>

#undef DeleteFile // the program's own, not the Win32 macro

namespace ornel::test
{
namespace
{

namespace fs = std::filesystem;

std::vector<std::string> g_points;
void RecordPoint(std::string_view name)
{
    g_points.emplace_back(name);
}

struct PointRecorder
{
    PointRecorder()
    {
        g_points.clear();
        SetCrashPointHookForTesting(&RecordPoint);
    }
    ~PointRecorder() { SetCrashPointHookForTesting(nullptr); }
};

// Every name in a folder, hidden partial files included.
std::vector<std::string> AllNames(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.push_back(PathToUtf8(e.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A handle another program would hold while it writes the file.
HANDLE OpenForWriting(const fs::path& file)
{
    return CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(WinFileBatch, NamesComeAfterTheFlushNeverReplaceAFileAndWhatFailsLeavesNothing)
{
    TempFolder folder;
    const auto in = folder / "входящие";
    const auto out = folder / "исходящие";
    fs::create_directories(in);
    fs::create_directories(out);
    WriteFile(in / PathFromUtf8("отчёт.txt"), "новый отчёт");
    WriteFile(in / PathFromUtf8("b.bin"), std::string(3 << 20, 'b'));
    WriteFile(out / PathFromUtf8("b.bin"), "kept");
    WriteFile(folder / "download.part", "downloaded");
    WriteFile(out / PathFromUtf8("d.txt"), "old download");

    PointRecorder points;
    {
        FileBatch batch;
        std::string error;
        const auto report =
            batch.StageCopy(in / PathFromUtf8("отчёт.txt"), out / PathFromUtf8("отчёт.txt"), &error);
        ASSERT_TRUE(report) << error;
        EXPECT_FALSE(batch.StageCopy(in / PathFromUtf8("b.bin"), out / PathFromUtf8("b.bin"), &error));
        EXPECT_NE(error.find("File exists"), std::string::npos) << error;
        const auto download = batch.StageWritten(folder / "download.part", out / PathFromUtf8("d.txt"));
        // Nothing under a real name yet: the copy waits under a hidden one.
        EXPECT_EQ(FolderNames(out).size(), 3u);
        EXPECT_FALSE(fs::exists(out / PathFromUtf8("отчёт.txt")));

        batch.Place();
        EXPECT_TRUE(batch.Placed(*report));
        EXPECT_TRUE(batch.Placed(download));
        batch.DeleteLater(in / PathFromUtf8("отчёт.txt"));
        EXPECT_TRUE(batch.DeleteSources().empty());
    }
    EXPECT_EQ(g_points,
              (std::vector<std::string>{"batch-staged", "batch-staged", "batch-synced", "batch-linked",
                                        "batch-linked", "batch-named", "batch-deleted"}));
    EXPECT_EQ(AllNames(out), (std::vector<std::string>{"b.bin", "d.txt", "отчёт.txt"}));
    EXPECT_EQ(ReadFile(out / PathFromUtf8("отчёт.txt")), "новый отчёт");
    EXPECT_EQ(ReadFile(out / PathFromUtf8("b.bin")), "kept");
    EXPECT_EQ(ReadFile(out / PathFromUtf8("d.txt")), "downloaded");
    EXPECT_EQ(AllNames(in), std::vector<std::string>{"b.bin"});

    // A name taken between staging and naming fails that file alone, and its copy vanishes.
    {
        FileBatch batch;
        const auto late = batch.StageCopy(in / PathFromUtf8("b.bin"), out / PathFromUtf8("late.bin"));
        ASSERT_TRUE(late);
        WriteFile(out / PathFromUtf8("late.bin"), "someone else's");
        batch.Place();
        EXPECT_FALSE(batch.Placed(*late));
        EXPECT_NE(batch.Failure(*late).find("File exists"), std::string::npos) << batch.Failure(*late);
    }
    EXPECT_EQ(ReadFile(out / PathFromUtf8("late.bin")), "someone else's");
    // A batch dropped before it was placed leaves no hidden file either.
    {
        FileBatch batch;
        ASSERT_TRUE(batch.StageCopy(in / PathFromUtf8("b.bin"), out / PathFromUtf8("never.bin")));
    }
    EXPECT_EQ(AllNames(out), (std::vector<std::string>{"b.bin", "d.txt", "late.bin", "отчёт.txt"}));
}

TEST(WinFileBatch, TwoDownloadsThatAreOneFileHereNeverReplaceEachOther)
{
    TempFolder folder;
    WriteFile(folder / "first.part", "first");
    WriteFile(folder / "second.part", "second");
    WriteFile(folder / "Старый.txt", "old");
    WriteFile(folder / "old.part", "newer");
    FileBatch batch;
    const auto first = batch.StageWritten(folder / "first.part", folder / "Отчёт.txt");
    // Another file on the server; the same name for Windows.
    const auto second = batch.StageWritten(folder / "second.part", folder / "отчёт.TXT ");
    // An older file of the name is replaced, as a download fetched again replaces its copy.
    const auto again = batch.StageWritten(folder / "old.part", folder / "Старый.txt");
    batch.Place();
    EXPECT_TRUE(batch.Placed(first));
    EXPECT_FALSE(batch.Placed(second));
    EXPECT_NE(batch.Failure(second).find("File exists"), std::string::npos) << batch.Failure(second);
    EXPECT_TRUE(batch.Placed(again));
    EXPECT_EQ(ReadFile(folder / "Отчёт.txt"), "first");
    EXPECT_EQ(ReadFile(folder / "Старый.txt"), "newer");
    // What the engine asks before a download takes a name: here the second server name is
    // the first file, and its bytes are not the second download's.
    EXPECT_TRUE(FileExists(folder / "отчёт.TXT "));
    EXPECT_TRUE(SameFileContent(folder / "отчёт.TXT ", folder / "Отчёт.txt"));
    EXPECT_FALSE(SameFileContent(folder / "Старый.txt", folder / "Отчёт.txt"));
}

// A delivery's rename: nothing moves before the sources' turn (after the caller's commit), a
// name taken meanwhile (in another case, too) is never replaced, a read-only file arrives
// writable, and a batch that ends without that turn leaves the file where it was.
TEST(WinFileBatch, RenamesWaitForTheSourcesTurnAndNeverReplaceOrLoseAFile)
{
    TempFolder temp;
    const fs::path folder = temp.Path();
    const auto in = folder / "входящие";
    fs::create_directories(in);
    WriteFile(folder / PathFromUtf8("ответ.txt"), "delivered");
    WriteFile(folder / "b.txt", "raced");
    WriteFile(folder / "c.txt", "abandoned");
    SetFileAttributesW((folder / PathFromUtf8("ответ.txt")).c_str(), FILE_ATTRIBUTE_READONLY);
    PointRecorder points;
    {
        FileBatch batch;
        const auto a = batch.StageRename(folder / PathFromUtf8("ответ.txt"), in / PathFromUtf8("ответ.txt"));
        const auto b = batch.StageRename(folder / "b.txt", in / "b.txt");
        ASSERT_TRUE(a && b);
        batch.Place();
        EXPECT_FALSE(batch.Placed(*a));
        EXPECT_TRUE(AllNames(in).empty()) << "nothing moves at Place()";
        WriteFile(in / "B.TXT", "someone else's");
        EXPECT_TRUE(batch.DeleteSources().empty());
        EXPECT_TRUE(batch.Placed(*a));
        EXPECT_FALSE(batch.Placed(*b));
        EXPECT_NE(batch.Failure(*b).find("File exists"), std::string::npos) << batch.Failure(*b);
    }
    EXPECT_EQ(g_points,
              (std::vector<std::string>{"batch-staged", "batch-staged", "batch-synced", "batch-moved"}));
    EXPECT_EQ(ReadFile(in / PathFromUtf8("ответ.txt")), "delivered");
    EXPECT_EQ(GetFileAttributesW((in / PathFromUtf8("ответ.txt")).c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(ReadFile(folder / "b.txt"), "raced");
    EXPECT_EQ(ReadFile(in / "B.TXT"), "someone else's");
    {
        FileBatch batch;
        ASSERT_TRUE(batch.StageRename(folder / "c.txt", in / "c.txt"));
        batch.Place(); // the commit fails: no sources' turn
    }
    EXPECT_EQ(ReadFile(folder / "c.txt"), "abandoned");
    EXPECT_FALSE(fs::exists(in / "c.txt"));
}

TEST(WinFileSystem, NamesWindowsWouldTakeForADeviceOrAStreamAreNotStorable)
{
    for (const char* name : {"NUL", "con.txt", "Com1.log", "lpt9", "aux .tar.gz", "PRN", "COM\xC2\xB9.txt",
                             "a:b.txt", "x?y", "a<b", "a|b", "q\"u", "star*", "tab\tname", "...", " . "}) {
        EXPECT_FALSE(IsStorableFileName(name)) << name;
    }
    for (const char* name : {"CONSOLE.txt", "nul_report.txt", "COM10.txt", "LPT", "Отчёт.txt", "padded  ",
                             "dotted.", ".hidden"}) {
        EXPECT_TRUE(IsStorableFileName(name)) << name;
    }
}

TEST(WinFileSystem, AFileHeldByAnotherHandleIsStillOpenAndAReadOnlyOneIsSeen)
{
    TempFolder folder;
    const auto file = folder / "письмо.txt";
    WriteFile(file, "text");
    EXPECT_TRUE(CanOpenFileExclusive(file));
    {
        const HANDLE writer = OpenForWriting(file);
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
        OpenFileProbe probe;
        EXPECT_FALSE(probe.IsFree(file));
        EXPECT_FALSE(CanOpenFileExclusive(file));
        // A copy of a file that is being written is refused rather than taken half-way.
        EXPECT_FALSE(CopyFileNoReplace(file, folder / "copy.txt"));
        EXPECT_FALSE(fs::exists(folder / "copy.txt"));
        CloseHandle(writer);
    }
    OpenFileProbe probe;
    EXPECT_TRUE(probe.IsFree(file));
    EXPECT_FALSE(IsReadOnlyFile(file));
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(IsReadOnlyFile(file));
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(CanOpenFileExclusive(folder / "missing.txt"));
}

TEST(WinFileSystem, ListingsMovesAndDeletesSpeakUtf8AndKeepFoldersApart)
{
    TempFolder folder;
    WriteFile(folder / "б.txt", "12345");
    WriteFile(folder / "a.txt", "");
    WriteFile(folder / (std::string(kPartialPrefix) + "0123"), "partial");
    fs::create_directory(folder / "папка");

    const auto entries = ListFolder(folder.Path());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].Name, "a.txt");
    EXPECT_EQ(entries[1].Name, "б.txt");
    EXPECT_EQ(entries[1].Size, 5);
    EXPECT_EQ(entries[2].Name, "папка");
    EXPECT_TRUE(entries[2].Directory);
    EXPECT_EQ(ListFolderFiles(folder.Path()).size(), 2u);
    EXPECT_TRUE(ListFolder({}).empty()) << "an unset folder listed the current one";
    EXPECT_EQ(FileSize(folder / "б.txt"), 5);
    EXPECT_FALSE(FileSize(folder / "папка"));
    EXPECT_TRUE(FolderExists(folder / "папка"));
    EXPECT_FALSE(FileExists(folder / "папка"));
    EXPECT_FALSE(DeleteFile(folder / "папка"));
    EXPECT_TRUE(NameExists(folder / "папка"));

    std::string error;
    EXPECT_FALSE(MoveFileNoReplace(folder / "б.txt", folder / "a.txt", &error));
    EXPECT_EQ(ReadFile(folder / "a.txt"), "");
    EXPECT_TRUE(MoveFileNoReplace(folder / "б.txt", folder / "папка" / PathFromUtf8("в.txt"), &error))
        << error;
    EXPECT_EQ(ReadFile(folder / "папка" / PathFromUtf8("в.txt")), "12345");
    EXPECT_TRUE(DeleteFile(folder / "a.txt"));
    EXPECT_FALSE(DeleteFile(folder / "a.txt"));

    // A partial file nobody wrote for longer than the bound is what a crash left.
    RemoveStalePartialFiles(folder.Path(), std::chrono::hours(1));
    EXPECT_TRUE(fs::exists(folder / (std::string(kPartialPrefix) + "0123")));
    RemoveStalePartialFiles(folder.Path(), std::chrono::seconds(-1));
    EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{"папка"});
}

TEST(WinFileMoves, MovesWithBackupWriteWindowsPathsIntoTheJournal)
{
    FilesFixture f;
    const std::string box = f.Dir("Почта\\Out");
    f.layout.SetTempSend(f.Dir("Send"));
    f.layout.SetArcReciv2(PathToUtf8(f.root / "Arc"));
    const std::string plain = f.layout.TempSendPlain();
    const std::string day = f.layout.ArcReciv2DayFolder();
    EXPECT_EQ(plain, f.Dir("Send") + "\\temp2");
    WriteFile(PathFromUtf8(box) / PathFromUtf8("отчёт.txt"), "отчёт");

    f.moves.MoveWithBackup(TransferDirection::Outgoing, box, plain);

    EXPECT_EQ(FilesFixture::FilesIn(PathFromUtf8(box)), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(PathFromUtf8(plain) / PathFromUtf8("отчёт.txt")), "отчёт");
    EXPECT_EQ(ReadFile(PathFromUtf8(day) / PathFromUtf8("отчёт.txt")), "отчёт");
    auto rows = f.Rows();
    EXPECT_EQ(rows["отчёт.txt"].BackupPath, day + "\\отчёт.txt");
}

} // namespace
} // namespace ornel::test
