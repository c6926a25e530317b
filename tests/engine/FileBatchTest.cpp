// A batch of files on its way to the disk: nothing named before its data is synced, never a
// name replaced by a copy, nothing left of what was not named; and the test for files that
// another program still holds.
#include "platform/FileBatch.h"

#include "platform/CrashPoint.h"
#include "platform/OpenFileProbe.h"
#include "platform/Process.h"
#include "support/TempFolder.h"

#include <chrono>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <string_view>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace ornel::test
{

namespace fs = std::filesystem;

namespace
{

std::vector<std::string> AllNames(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> g_points;
void RecordPoint(std::string_view name)
{
    g_points.emplace_back(name);
}
void FailSync(std::string_view name)
{
    if (name == "batch-synced") {
        throw std::runtime_error("Input/output error");
    }
}

class PointHook
{
public:
    explicit PointHook(void (*hook)(std::string_view))
    {
        g_points.clear();
        SetCrashPointHookForTesting(hook);
    }
    ~PointHook() { SetCrashPointHookForTesting(nullptr); }
    PointHook(const PointHook&) = delete;
    PointHook& operator=(const PointHook&) = delete;
};

#if defined(__x86_64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#else
constexpr std::uint32_t kAuditArch = 0;
#endif

// From here on this process's exclusive renames fail with EINVAL, as they do on network
// shares (SMB, NFS) and older file systems. False when the filter cannot be set.
bool RefuseExclusiveRenames()
{
    if (kAuditArch == 0) {
        return false;
    }
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_renameat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EINVAL & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace

TEST(FileBatch, CopiesAreNamedOnlyAfterTheirDataIsSyncedAndNeverReplaceAName)
{
    TempFolder t;
    fs::create_directory(t / "to");
    WriteFile(t / "a", "first");
    WriteFile(t / "b", "second");
    WriteFile(t / "c", "third");
    WriteFile(t / "to" / "taken", "someone else's");
    const auto when = fs::file_time_type(std::chrono::seconds(1'700'000'000));
    fs::last_write_time(t / "a", when);

    const PointHook hook(&RecordPoint);
    FileBatch batch;
    std::string error;
    EXPECT_FALSE(batch.StageCopy(t / "c", t / "to" / "taken", &error));
    EXPECT_NE(error.find("exists"), std::string::npos) << error;
    const auto a = batch.StageCopy(t / "a", t / "to" / "a");
    const auto b = batch.StageCopy(t / "b", t / "to" / "b");
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(batch.Reserves(t / "to" / "a"));
    EXPECT_FALSE(batch.StageCopy(t / "c", t / "to" / "a", &error)) << "a name the batch holds is taken";
    EXPECT_EQ(batch.Files(), 2u);
    EXPECT_EQ(batch.Bytes(), 11);
    // Written but without names: nothing in the folder, not even a hidden file.
    EXPECT_EQ(AllNames(t / "to"), std::vector<std::string>{"taken"});
    // Someone takes b's name in the meantime: b fails alone and the other file stays theirs.
    WriteFile(t / "to" / "b", "arrived meanwhile");

    batch.Place();
    EXPECT_TRUE(batch.Placed(*a));
    EXPECT_FALSE(batch.Placed(*b));
    EXPECT_NE(batch.Failure(*b).find("exists"), std::string::npos) << batch.Failure(*b);
    EXPECT_EQ(ReadFile(t / "to" / "a"), "first");
    EXPECT_EQ(fs::last_write_time(t / "to" / "a"), when);
    EXPECT_EQ(ReadFile(t / "to" / "b"), "arrived meanwhile");
    EXPECT_EQ(AllNames(t / "to"), (std::vector<std::string>{"a", "b", "taken"}));
    // Two files on one file system: one sync for both, before either gets its name, and the
    // folder flushed after the name.
    EXPECT_EQ(g_points, (std::vector<std::string>{"batch-staged", "batch-staged", "batch-synced",
                                                  "batch-linked", "batch-named"}));

    // The sources go after the caller's commit, each folder flushed once; a missing one is
    // reported.
    batch.DeleteLater(t / "a");
    batch.DeleteLater(t / "missing");
    EXPECT_EQ(batch.DeleteSources(), std::vector<fs::path>{t / "missing"});
    EXPECT_FALSE(fs::exists(t / "a"));
}

TEST(FileBatch, NothingIsNamedWhenTheDataCannotBeSyncedAndNothingUnnamedStays)
{
    TempFolder t;
    fs::create_directory(t / "to");
    WriteFile(t / "a", "copy me");
    WriteFile(t / "to" / "b", "old download");
    const fs::path download = PartialName(t / "to");
    WriteFile(download, "new download");
    {
        const PointHook hook(&FailSync);
        FileBatch batch;
        ASSERT_TRUE(batch.StageCopy(t / "a", t / "to" / "a"));
        (void)batch.StageWritten(download, t / "to" / "b");
        EXPECT_THROW(batch.Place(), std::runtime_error);
    }
    // The copy vanished with its last descriptor, the download with its hidden name; the file
    // it was to replace is untouched.
    EXPECT_EQ(AllNames(t / "to"), std::vector<std::string>{"b"});
    EXPECT_EQ(ReadFile(t / "to" / "b"), "old download");

    // The same download in a batch that is placed replaces the file of its name.
    WriteFile(download, "new download");
    FileBatch batch;
    const auto item = batch.StageWritten(download, t / "to" / "b");
    batch.Place();
    EXPECT_TRUE(batch.Placed(item));
    EXPECT_EQ(ReadFile(t / "to" / "b"), "new download");
    EXPECT_EQ(AllNames(t / "to"), std::vector<std::string>{"b"});
}

TEST(FileBatch, MovesRenameWithoutReplacing)
{
    TempFolder t;
    fs::create_directory(t / "out");
    WriteFile(t / "a", "moving");
    WriteFile(t / "b", "staying");
    WriteFile(t / "out" / "b", "already there");
    FileBatch batch;
    std::optional<FileBatch::Item> copy;
    EXPECT_EQ(batch.StageMove(t / "a", t / "out" / "a", copy), FileBatch::Moved::Renamed);
    EXPECT_FALSE(copy);
    EXPECT_EQ(ReadFile(t / "out" / "a"), "moving");
    std::string error;
    EXPECT_EQ(batch.StageMove(t / "b", t / "out" / "b", copy, &error), FileBatch::Moved::Failed);
    EXPECT_NE(error.find("exists"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(t / "b"), "staying");
    EXPECT_EQ(ReadFile(t / "out" / "b"), "already there");
    EXPECT_EQ(batch.StageMove(t / "missing", t / "out" / "m", copy), FileBatch::Moved::Failed);
    batch.Place(); // flushes both folders; nothing to name
}

// A rename staged in a batch moves nothing until the caller's commit is behind it (the sources'
// turn), never replaces a name taken meanwhile, and a batch that ends without that turn leaves
// the file where it was. Across file systems nothing is staged: a copy is the caller's way.
TEST(FileBatch, RenamesWaitForTheSourcesTurnAndNeverReplaceOrLoseAFile)
{
    TempFolder t;
    fs::create_directory(t / "in");
    WriteFile(t / "a", "delivered");
    WriteFile(t / "b", "raced");
    WriteFile(t / "c", "abandoned");
    ::chmod((t / "a").c_str(), 0400);
    {
        FileBatch batch;
        std::string error;
        const auto a = batch.StageRename(t / "a", t / "in" / "a");
        const auto b = batch.StageRename(t / "b", t / "in" / "b");
        ASSERT_TRUE(a && b);
        EXPECT_TRUE(batch.Reserves(t / "in" / "a"));
        EXPECT_FALSE(batch.StageRename(t / "c", t / "in" / "a", &error)) << "a name the batch holds";
        EXPECT_NE(error.find("exists"), std::string::npos) << error;
        EXPECT_FALSE(batch.StageRename(t / "missing", t / "in" / "m"));
        batch.Place();
        EXPECT_FALSE(batch.Placed(*a));
        EXPECT_EQ(AllNames(t / "in"), std::vector<std::string>{}) << "nothing moves at Place()";
        WriteFile(t / "in" / "b", "someone else's"); // taken between the commit and the move
        EXPECT_TRUE(batch.DeleteSources().empty());
        EXPECT_TRUE(batch.Placed(*a));
        EXPECT_FALSE(batch.Placed(*b));
        EXPECT_NE(batch.Failure(*b).find("exists"), std::string::npos) << batch.Failure(*b);
    }
    EXPECT_EQ(ReadFile(t / "in" / "a"), "delivered");
    EXPECT_EQ(fs::status(t / "in" / "a").permissions() & fs::perms::owner_write, fs::perms::owner_write)
        << "writable by its owner, as a copy is";
    EXPECT_EQ(ReadFile(t / "b"), "raced") << "the move that found its name taken left the file";
    EXPECT_EQ(ReadFile(t / "in" / "b"), "someone else's");
    {
        FileBatch batch;
        ASSERT_TRUE(batch.StageRename(t / "c", t / "in" / "c"));
        batch.Place(); // the commit fails: no sources' turn
    }
    EXPECT_EQ(ReadFile(t / "c"), "abandoned");
    EXPECT_FALSE(fs::exists(t / "in" / "c"));

    // /dev/shm is a file system of its own on most machines.
    struct stat here
    {
    };
    struct stat shm
    {
    };
    if (::stat(t.Path().c_str(), &here) == 0 && ::stat("/dev/shm", &shm) == 0 && here.st_dev != shm.st_dev &&
        ::access("/dev/shm", W_OK) == 0) {
        FileBatch batch;
        std::string error;
        EXPECT_FALSE(batch.StageRename(t / "c", fs::path("/dev/shm") / "ornel-rename-test", &error));
        EXPECT_NE(error.find("device"), std::string::npos) << error;
        EXPECT_EQ(ReadFile(t / "c"), "abandoned");
    }
}

// Where the file system has no exclusive rename, a delivery is linked under its new name and
// unlinked from the old one, a move becomes a copy, and still no name is ever replaced.
TEST(FileBatch, WithoutAnExclusiveRenameNothingIsReplacedOrLost)
{
    TempFolder t;
    fs::create_directory(t / "in");
    fs::create_directory(t / "out");
    WriteFile(t / "a", "delivered");
    WriteFile(t / "b", "raced");
    WriteFile(t / "c", "moved");
    WriteFile(t / "d", "staying");
    WriteFile(t / "out" / "d", "already there");
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // No test macros here: the child tells what it found by its exit code.
        if (!RefuseExclusiveRenames()) {
            ::_exit(10);
        }
        if (::renameat2(AT_FDCWD, (t / "c").c_str(), AT_FDCWD, (t / "c2").c_str(), RENAME_NOREPLACE) == 0 ||
            errno != EINVAL) {
            ::_exit(11);
        }
        try {
            FileBatch batch;
            const auto a = batch.StageRename(t / "a", t / "in" / "a");
            const auto b = batch.StageRename(t / "b", t / "in" / "b");
            std::optional<FileBatch::Item> c;
            std::optional<FileBatch::Item> d;
            if (!a || !b || batch.StageMove(t / "c", t / "out" / "c", c) != FileBatch::Moved::Copied || !c ||
                batch.StageMove(t / "d", t / "out" / "d", d) == FileBatch::Moved::Renamed) {
                ::_exit(12);
            }
            batch.Place();
            if (!batch.Placed(*c) || (d && batch.Placed(*d))) {
                ::_exit(13);
            }
            WriteFile(t / "in" / "b", "someone else's"); // taken between the commit and the move
            (void)batch.DeleteSources();
            ::_exit(batch.Placed(*a) && !batch.Placed(*b) ? 0 : 14);
        } catch (...) {
            ::_exit(15);
        }
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10) {
        GTEST_SKIP() << "no seccomp filter here to take the exclusive rename away";
    }
    ASSERT_EQ(WEXITSTATUS(status), 0)
        << "10 no filter, 11 rename not refused, 12 staging, 13 copies, 14 moves";
    EXPECT_EQ(ReadFile(t / "in" / "a"), "delivered");
    EXPECT_FALSE(fs::exists(t / "a")) << "moved, not copied";
    EXPECT_EQ(ReadFile(t / "b"), "raced") << "the move that found its name taken left the file";
    EXPECT_EQ(ReadFile(t / "in" / "b"), "someone else's");
    EXPECT_EQ(ReadFile(t / "out" / "c"), "moved");
    EXPECT_EQ(ReadFile(t / "c"), "moved") << "a move that became a copy leaves the source to its caller";
    EXPECT_EQ(ReadFile(t / "out" / "d"), "already there");
    EXPECT_EQ(ReadFile(t / "d"), "staying");
    EXPECT_EQ(AllNames(t / "in"), (std::vector<std::string>{"a", "b"})) << "nothing hidden stays";
    EXPECT_EQ(AllNames(t / "out"), (std::vector<std::string>{"c", "d"}));
}

// A process killed at any point of a batch leaves every name either absent or complete, and
// nothing unnamed behind.
TEST(FileBatch, AKillAtAnyPointLeavesWholeFilesOrNone)
{
    TempFolder t;
    const std::string content(300000, 'x');
    for (const char* name : {"a", "b", "c"}) {
        WriteFile(t / name, content + name);
    }
    static int s_killAt = 0;
    static int s_passed = 0;
    for (int killAt = 1; killAt <= 9; ++killAt) {
        SCOPED_TRACE(killAt);
        const fs::path to = t / ("to" + std::to_string(killAt));
        fs::create_directory(to);
        std::fflush(nullptr);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            s_killAt = killAt;
            s_passed = 0;
            SetCrashPointHookForTesting([](std::string_view) {
                if (++s_passed == s_killAt) {
                    ::kill(::getpid(), SIGKILL);
                }
            });
            FileBatch batch;
            for (const char* name : {"a", "b", "c"}) {
                (void)batch.StageCopy(t / name, to / name);
                batch.DeleteLater(t / name);
            }
            batch.Place();
            // Sources are left alone here: the other rounds copy them again.
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        for (const auto& name : AllNames(to)) {
            EXPECT_EQ(ReadFile(to / name), content + name) << name;
        }
        // Staged three (1-3), synced (4), named one by one (5-7), folder flushed (8).
        EXPECT_EQ(AllNames(to).size(), killAt <= 4 ? 0u : std::min<std::size_t>(killAt - 4, 3u));
    }
}

TEST(OpenFileProbe, SeesOpenersAndMappersAndSurvivesTheLeaseBreakSignal)
{
    TempFolder t;
    WriteFile(t / "f", "data");
    OpenFileProbe probe;
    EXPECT_TRUE(probe.IsFree(t / "f"));
    EXPECT_TRUE(probe.LastAnsweredByKernel());
    EXPECT_FALSE(probe.IsFree(t / "missing"));

    // A program that has mapped the file and closed its descriptor still writes it.
    auto mapper = Process::Start("/usr/bin/python3",
                                 {"-c",
                                  "import mmap,os,sys,time\n"
                                  "f=open(sys.argv[1],'r+b'); m=mmap.mmap(f.fileno(),0); f.close()\n"
                                  "open(sys.argv[1]+'.ready','w').close(); time.sleep(30)",
                                  (t / "f").string()},
                                 t.Path());
    ASSERT_TRUE(mapper);
    for (int i = 0; i < 500 && !fs::exists(t / "f.ready"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(fs::exists(t / "f.ready"));
    EXPECT_FALSE(probe.IsFree(t / "f"));
    (void)mapper->StopGroup(std::chrono::seconds(1));
    EXPECT_TRUE(probe.IsFree(t / "f"));

    // An opener racing the lease sends its holder a signal that ends a program by default.
    ::raise(SIGIO);
    SUCCEED() << "still running";
}

// Where the kernel refuses the lease (a file of another owner, without the right to lease
// it), the open files of every process are read once for the probe.
TEST(OpenFileProbe, FallsBackToOneReadingOfOpenFiles)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to probe as another user";
    }
    TempFolder t;
    fs::permissions(t.Path(), fs::perms::all);
    WriteFile(t / "held", "data");
    WriteFile(t / "free", "data");
    for (const char* name : {"held", "free"}) {
        fs::permissions(t / name, fs::perms::all);
    }
    int answers[2] = {};
    ASSERT_EQ(::pipe(answers), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Not the files' owner and without the right to lease: the kernel refuses.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(2);
        }
        const int held = ::open((t / "held").c_str(), O_RDONLY);
        OpenFileProbe probe;
        const char result[3] = {static_cast<char>(probe.IsFree(t / "held") ? 'F' : 'O'),
                                static_cast<char>(probe.IsFree(t / "free") ? 'F' : 'O'),
                                static_cast<char>(probe.LastAnsweredByKernel() ? 'K' : 'P')};
        (void)!::write(answers[1], result, sizeof result);
        ::close(held);
        ::_exit(0);
    }
    ::close(answers[1]);
    char result[4] = {};
    EXPECT_EQ(::read(answers[0], result, 3), 3);
    ::close(answers[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(std::string(result, 3), "OFP");
}

} // namespace ornel::test
