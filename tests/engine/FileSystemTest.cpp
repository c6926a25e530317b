#include "platform/FileSystem.h"

#include "engine/FilesFixture.h"
#include "platform/FileBatch.h"
#include "platform/Process.h"
#include "support/TempFolder.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ornel::test
{

namespace fs = std::filesystem;

namespace
{

std::vector<std::string> Names(const std::vector<FileEntry>& entries)
{
    std::vector<std::string> names;
    for (const auto& e : entries) {
        names.push_back(e.Name);
    }
    return names;
}

std::vector<std::string> AllNames(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    return names;
}

} // namespace

TEST(FileSystem, ListingTakesEveryFileIncludingHiddenButNoPartialsOrFolders)
{
    TempFolder t;
    WriteFile(t / "b", "1");
    WriteFile(t / "a.txt", "22");
    WriteFile(t / ".hidden", "333");
    WriteFile(t / (std::string(kPartialPrefix) + "1234"), "partial");
    fs::create_directory(t / "sub");
    fs::permissions(t / "a.txt", fs::perms::owner_read, fs::perm_options::replace);

    EXPECT_EQ(Names(ListFolderFiles(t.Path())), (std::vector<std::string>{".hidden", "a.txt", "b"}));
    EXPECT_EQ(Names(ListFolder(t.Path())), (std::vector<std::string>{".hidden", "a.txt", "b", "sub"}));
    EXPECT_EQ(ListFolderFiles(t.Path())[1].Size, 2);
    EXPECT_TRUE(ListFolderFiles(t / "missing").empty());
    EXPECT_TRUE(ListFolder("").empty()) << "an unset folder is not the current folder";
}

TEST(FileSystem, SizesBeyondFourGigabytesAreExact)
{
    TempFolder t;
    const std::int64_t size = (std::int64_t{5} << 30) + 7;
    {
        const int fd = ::open((t / "big").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0); // sparse: no disk space used
        ::close(fd);
    }
    const auto files = ListFolderFiles(t.Path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].Size, size);
}

TEST(FileSystem, WindowsMasks)
{
    EXPECT_TRUE(MatchesMask("noext", "*.*"));
    EXPECT_TRUE(MatchesMask(".hidden", "*.*"));
    EXPECT_TRUE(MatchesMask("a.b.c", "*"));
    EXPECT_TRUE(MatchesMask("Report.TXT", "*.txt"));
    EXPECT_TRUE(MatchesMask("r1.txt", "r?.txt"));
    EXPECT_FALSE(MatchesMask("r12.txt", "r?.txt"));
    EXPECT_FALSE(MatchesMask("report.txt.bak", "*.txt"));
    EXPECT_TRUE(MatchesMask("abcabd", "*abd"));
}

TEST(FileSystem, CopyNeverReplacesAndKeepsContentAndTime)
{
    TempFolder t;
    fs::create_directory(t / "to");
    WriteFile(t / "src", "new content");
    WriteFile(t / "to" / "src", "old archive copy");
    std::string error;
    EXPECT_FALSE(CopyFileNoReplace(t / "src", t / "to" / "src", &error));
    EXPECT_NE(error.find("exists"), std::string::npos);
    EXPECT_EQ(ReadFile(t / "to" / "src"), "old archive copy");

    const auto when = fs::file_time_type(std::chrono::seconds(1'700'000'000));
    fs::last_write_time(t / "src", when);
    ASSERT_TRUE(CopyFileNoReplace(t / "src", t / "to" / "copy", &error)) << error;
    EXPECT_EQ(ReadFile(t / "to" / "copy"), "new content");
    EXPECT_EQ(fs::last_write_time(t / "to" / "copy"), when);
    EXPECT_EQ(AllNames(t / "to").size(), 2u) << "no partial file is left behind";

    EXPECT_FALSE(CopyFileNoReplace(t / "missing", t / "to" / "x"));
    EXPECT_FALSE(CopyFileNoReplace(t / "src", t / "nofolder" / "x"));
    EXPECT_EQ(ReadFile(t / "src"), "new content");
}

// The copy is killed after its first block: the target name must not exist, the source
// must be untouched, and the partial data must stay invisible to the listing.
TEST(FileSystem, CopyKilledMidwayLeavesNoTarget)
{
    TempFolder t;
    fs::create_directory(t / "to");
    const std::string content(5 << 20, 'x');
    WriteFile(t / "src", content);

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        (void)CopyFileNoReplace(t / "src", t / "to" / "dst", nullptr, [&](std::int64_t) {
            const char c = 'r';
            (void)!::write(ready[1], &c, 1);
            ::pause(); // wait here to be killed in the middle of the copy
        });
        ::_exit(0);
    }
    ::close(ready[1]);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_FALSE(fs::exists(t / "to" / "dst"));
    EXPECT_TRUE(AllNames(t / "to").empty()) << "the killed copy had no name, so nothing of it is left";
    EXPECT_EQ(ReadFile(t / "src"), content);
    EXPECT_TRUE(CopyFileNoReplace(t / "src", t / "to" / "dst"));
    EXPECT_EQ(ReadFile(t / "to" / "dst"), content);
}

// A partial file under a hidden name (a download cut short, or a copy on a file system
// without unnamed files) is never listed, and goes once nobody has written to it for longer
// than the limit.
TEST(FileSystem, PartialFilesStayHiddenAndStaleOnesGo)
{
    TempFolder t;
    WriteFile(t / "dst", "complete");
    const auto partial = PartialName(t.Path());
    EXPECT_EQ(partial.parent_path(), t.Path());
    EXPECT_NE(PartialName(t.Path()), partial);
    WriteFile(partial, "half");
    EXPECT_EQ(ListFolderFiles(t.Path()).size(), 1u);

    RemoveStalePartialFiles(t.Path(), std::chrono::hours(1));
    EXPECT_EQ(AllNames(t.Path()).size(), 2u) << "fresh: could still be in progress";
    fs::last_write_time(partial, fs::file_time_type::clock::now() - std::chrono::hours(2));
    RemoveStalePartialFiles(t.Path(), std::chrono::hours(1));
    EXPECT_EQ(AllNames(t.Path()), std::vector<std::string>{"dst"});
}

TEST(FileSystem, CopyOfAFileThatChangesWhileReadFailsAndLeavesNothing)
{
    TempFolder t;
    fs::create_directory(t / "to");
    WriteFile(t / "src", std::string(3 << 20, 'a'));
    std::string error;
    const bool ok = CopyFileNoReplace(t / "src", t / "to" / "dst", &error, [&](std::int64_t copied) {
        if (copied == (1 << 20)) {
            std::FILE* f = std::fopen((t / "src").c_str(), "ab");
            std::fputs("still being written", f);
            std::fclose(f);
        }
    });
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find("changed"), std::string::npos) << error;
    EXPECT_TRUE(AllNames(t / "to").empty());
}

TEST(FileSystem, SameContentReadsBothFilesToTheirEnd)
{
    TempFolder t;
    // Larger than one block of the comparison, differing only in the last byte.
    const std::string data(200 * 1024 + 17, 'x');
    WriteFile(t / "a", data);
    WriteFile(t / "same", data);
    WriteFile(t / "last", data.substr(0, data.size() - 1) + "y");
    WriteFile(t / "longer", data + "x");
    EXPECT_TRUE(SameFileContent(t / "a", t / "same"));
    EXPECT_FALSE(SameFileContent(t / "a", t / "last"));
    EXPECT_FALSE(SameFileContent(t / "a", t / "longer"));
    EXPECT_FALSE(SameFileContent(t / "a", t / "missing"));
    EXPECT_FALSE(SameFileContent(t / "a", t.Path())); // a folder is no file of the same bytes
    WriteFile(t / "empty1", "");
    WriteFile(t / "empty2", "");
    EXPECT_TRUE(SameFileContent(t / "empty1", t / "empty2"));
}

TEST(FileSystem, EveryNameWithoutADelimiterOrNulIsStorableHere)
{
    for (const char* name : {"a.txt", "a:b", "NUL", "con.txt", "x?y", "trailing.", "Отчёт.txt", ".hidden"}) {
        EXPECT_TRUE(IsStorableFileName(name)) << name;
    }
    for (const std::string& name :
         {std::string(), std::string("."), std::string(".."), std::string("a/b"), std::string("a\0b", 3)}) {
        EXPECT_FALSE(IsStorableFileName(name)) << name;
    }
}

TEST(FileSystem, MoveRefusesATakenName)
{
    TempFolder t;
    WriteFile(t / "a", "moving");
    WriteFile(t / "b", "staying");
    EXPECT_FALSE(MoveFileNoReplace(t / "a", t / "b"));
    EXPECT_EQ(ReadFile(t / "a"), "moving");
    EXPECT_EQ(ReadFile(t / "b"), "staying");
    EXPECT_TRUE(MoveFileNoReplace(t / "a", t / "c"));
    EXPECT_FALSE(fs::exists(t / "a"));
    EXPECT_EQ(ReadFile(t / "c"), "moving");
    EXPECT_FALSE(DeleteFile(t / "a"));
}

TEST(FileSystem, ExclusiveOpenSeesOtherOpeners)
{
    TempFolder t;
    WriteFile(t / "f", "data");
    EXPECT_TRUE(CanOpenFileExclusive(t / "f"));
    EXPECT_FALSE(CanOpenFileExclusive(t / "missing"));

    {
        const int fd = ::open((t / "f").c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        EXPECT_FALSE(CanOpenFileExclusive(t / "f")) << "an opener in this process";
        ::close(fd);
    }
    EXPECT_TRUE(CanOpenFileExclusive(t / "f"));

    // Another program still writing: a child that holds the file open for appending.
    auto writer = Process::Start(
        "/bin/sh", {"-c", "exec 3>>\"$0\"; echo open > \"$0.ready\"; exec sleep 30", (t / "f").string()},
        t.Path());
    ASSERT_TRUE(writer);
    for (int i = 0; i < 500 && !fs::exists(t / "f.ready"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(t / "f.ready"));
    EXPECT_FALSE(CanOpenFileExclusive(t / "f"));
    ::kill(writer->Id(), SIGKILL);
    for (int i = 0; i < 500 && !writer->TryWait(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(CanOpenFileExclusive(t / "f"));

    fs::permissions(t / "f", fs::perms::owner_read, fs::perm_options::replace);
    if (::geteuid() != 0) {
        EXPECT_FALSE(CanOpenFileExclusive(t / "f")) << "read-only: cannot be opened for writing";
    }
}

TEST(Process, SplitsAtBlanksWithoutQuoting)
{
    EXPECT_EQ(Process::SplitParameters(" -P  -PU \"a b\" "),
              (std::vector<std::string>{"-P", "-PU", "\"a", "b\""}));
    EXPECT_TRUE(Process::SplitParameters("   ").empty());
}

TEST(Process, ReportsExitCodesAndPrograms)
{
    TempFolder t;
    auto ok = Process::Start("/bin/sh", {"-c", "exit 3"}, t.Path());
    ASSERT_TRUE(ok);
    std::optional<int> code;
    for (int i = 0; i < 1000 && !(code = ok->TryWait()); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(code, std::optional<int>(3));
    EXPECT_EQ(ok->EndingSignal(), 0);

    StartFailure failure;
    EXPECT_FALSE(Process::Start((t / "missing").string(), {}, t.Path(), &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::Missing);
    EXPECT_NE(failure.Detail.find("missing"), std::string::npos) << failure.Detail;
    EXPECT_FALSE(Process::Start("no-such-program-on-path", {}, t.Path(), &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::Missing);
    EXPECT_FALSE(Process::Start("", {}, t.Path(), &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::Missing);
    WriteFile(t / "not-executable", "#!/bin/sh\n");
    EXPECT_FALSE(Process::Start((t / "not-executable").string(), {}, {}, &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::NotExecutable);
    EXPECT_FALSE(Process::Start(t.Path().string(), {}, {}, &failure));
    EXPECT_EQ(failure.What, StartFailure::Kind::NotExecutable) << "a folder is no program";
}

TEST(Process, StopGroupEndsTheProgramAndEveryHelperEvenOnesThatIgnoreTheRequest)
{
    TempFolder t;
    // The program runs in a group of its own: stopping it leaves this test process alone.
    auto polite = Process::Start("/bin/sh", {"-c", "sleep 1000"}, t.Path());
    ASSERT_TRUE(polite);
    EXPECT_EQ(::getpgid(polite->Id()), polite->Id());
    EXPECT_EQ(polite->StopGroup(std::chrono::seconds(5)), std::optional<int>(128 + SIGTERM));
    EXPECT_EQ(polite->EndingSignal(), SIGTERM);

    // One that ignores the request, and a helper of it that does too, are killed after the grace.
    auto stubborn = Process::Start(
        "/bin/sh", {"-c", "trap '' TERM; sleep 1000 & echo $! > helper.pid; while :; do sleep 1; done"},
        t.Path());
    ASSERT_TRUE(stubborn);
    for (int i = 0; i < 1000 && !fs::exists(t / "helper.pid"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(stubborn->StopGroup(std::chrono::milliseconds(200)), std::optional<int>(128 + SIGKILL));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(200));
    EXPECT_TRUE(RunsNoMore(std::stoi(ReadFile(t / "helper.pid")))) << "the helper still runs";
    // Stopping a program that has ended already sends nothing anywhere.
    EXPECT_EQ(stubborn->StopGroup(std::chrono::milliseconds(200)), std::optional<int>(128 + SIGKILL));
}

} // namespace ornel::test
