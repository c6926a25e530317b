#include "journal/Journal.h"
#include "journal/RawJournal.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace ornel::test
{
namespace
{

constexpr double kNow = 46000.5;
constexpr const char* kCompacting = "Сжатие локальной БД........";

// A journal heavy enough that its compaction takes a while: 2000 file rows and their events
// from last week, five from today.
std::filesystem::path HeavyJournal(const TempFolder& folder)
{
    const auto file = folder / "heavy.db";
    Journal::Create(file);
    RawJournal raw(file);
    raw.Execute("BEGIN");
    raw.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<2000) "
                "INSERT INTO FileList (FileName, BackupPath, BackupPathCrypt, DateAdd, Direction, State) "
                "SELECT 'f' || i, hex(randomblob(120)), hex(randomblob(120)), 45993.5, 'OUT', 1 FROM n");
    raw.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<5) "
                "INSERT INTO FileList (FileName, DateAdd) SELECT 'today' || i, 46000.4 FROM n");
    raw.Execute("INSERT INTO LOG (FileID, EventType, EventTime) SELECT ID, 5, DateAdd FROM FileList");
    raw.Execute("COMMIT");
    return file;
}

enum class KillAt
{
    CompactionStart,
    CopyCreated,
    CopySchemaWritten,
    CopyRenamed,
    Never,
};

const char* Describe(KillAt when)
{
    switch (when) {
    case KillAt::CompactionStart:
        return "at the start of the compaction";
    case KillAt::CopyCreated:
        return "once the copy exists";
    case KillAt::CopySchemaWritten:
        return "once the copy holds its schema";
    case KillAt::CopyRenamed:
        return "after the copy took the journal's name";
    case KillAt::Never:
        return "never";
    }
    return "?";
}

// One compaction of `file` in a child process, killed with SIGKILL at `when` (or left to
// finish). Returns an empty text when the kill landed there: the stage was seen while the
// child still ran, the child died by the kill, and the files are those of that stage (a
// compacted journal holds `todayRows` file rows). Otherwise says where it landed instead.
std::string KillCompaction(KillAt when, const std::filesystem::path& file, std::int64_t todayRows = 5)
{
    const std::filesystem::path tmp = file.string() + ".tmp";
    int started[2];
    if (pipe(started) != 0) {
        return "no pipe";
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        return "no fork";
    }
    if (child == 0) {
        close(started[0]);
        FakeClock clock(kNow);
        Journal journal(clock, [&](const std::string& title) {
            if (title == kCompacting)
                (void)!write(started[1], "c", 1);
        });
        try {
            journal.Open(file);
        } catch (const std::exception&) {
            _exit(1);
        }
        _exit(0);
    }
    close(started[1]);
    char c = 0;
    const bool compacting = read(started[0], &c, 1) == 1;
    close(started[0]);

    // Bounded by the spin count and by the child's exit.
    int status = 0;
    bool exited = false;
    const auto pollUntil = [&](auto reached) {
        for (long spin = 0; spin < 50'000'000; ++spin) {
            if (reached())
                return true;
            if (waitpid(child, &status, WNOHANG) == child) {
                exited = true;
                return false;
            }
        }
        return false;
    };
    std::error_code ec;
    bool seen = compacting;
    switch (when) {
    case KillAt::CompactionStart:
    case KillAt::Never:
        break;
    case KillAt::CopyCreated:
        seen = seen && pollUntil([&] { return std::filesystem::exists(tmp); });
        break;
    case KillAt::CopySchemaWritten:
        seen = seen && pollUntil([&] { return std::filesystem::file_size(tmp, ec) > 0 && !ec; });
        break;
    case KillAt::CopyRenamed:
        seen = seen && pollUntil([&] { return std::filesystem::exists(tmp); }) &&
               pollUntil([&] { return !std::filesystem::exists(tmp); });
        break;
    }
    if (!exited) {
        if (when != KillAt::Never)
            kill(child, SIGKILL);
        if (waitpid(child, &status, 0) != child)
            return "the child was lost";
    }
    if (!compacting)
        return "the compaction never started";
    if (when == KillAt::Never)
        return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "the compaction failed";
    if (!seen || !WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL)
        return "the child ended before the kill";

    const bool copyLeft = std::filesystem::exists(tmp);
    const auto rows = RawJournal(file).Integer("SELECT count(*) FROM FileList");
    const bool replaced = rows == todayRows;
    if (when == KillAt::CopyRenamed)
        return !copyLeft && replaced ? "" : "the kill came before the rename";
    if (replaced)
        return "the kill came after the rename";
    if (when != KillAt::CompactionStart && !copyLeft)
        return "no copy was left";
    return "";
}

TEST(JournalCrash, AKilledCompactionNeverLosesTheJournal)
{
    TempFolder folder;
    const auto heavy = HeavyJournal(folder);
    const auto heavySize = std::filesystem::file_size(heavy);
    const auto file = folder / "ornel_ftp.db";
    const std::filesystem::path tmp = file.string() + ".tmp";

    for (const KillAt when : {KillAt::CompactionStart, KillAt::CopyCreated, KillAt::CopySchemaWritten,
                              KillAt::CopyRenamed, KillAt::Never}) {
        SCOPED_TRACE(Describe(when));
        // A kill that misses its stage (the child was quicker than the watch) is tried again;
        // the journal must come through whichever way it went, the stage must be hit once.
        std::vector<std::string> misses;
        for (int attempt = 0; attempt < 5; ++attempt) {
            std::filesystem::copy_file(heavy, file, std::filesystem::copy_options::overwrite_existing);
            std::filesystem::remove(tmp);
            const std::string missed = KillCompaction(when, file);
            {
                RawJournal raw(file);
                EXPECT_EQ(raw.Text("PRAGMA integrity_check"), "ok");
                const auto files = raw.Integer("SELECT count(*) FROM FileList");
                EXPECT_TRUE(files == 2005 || files == 5) << files;
                EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), files);
            }
            FakeClock clock(kNow);
            Journal journal(clock, nullptr);
            journal.Open(file);
            EXPECT_EQ(journal.TodayRows().size(), 5u);
            journal.Close();
            EXPECT_FALSE(std::filesystem::exists(tmp));
            EXPECT_LT(std::filesystem::file_size(file), heavySize / 10);
            if (missed.empty())
                break;
            misses.push_back(missed);
        }
        EXPECT_LT(misses.size(), 5u) << "the kill never landed " << Describe(when) << ": "
                                     << ::testing::PrintToString(misses);
    }
}

// The file's modification stamp; it moves with every commit.
std::pair<std::int64_t, std::int64_t> Stamp(const std::filesystem::path& file)
{
    struct stat info = {};
    if (::stat(file.c_str(), &info) != 0)
        return {-1, -1};
    return {info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

// A process killed while it records never leaves a FileList change without its LOG row:
// each record is one transaction. The kill follows the n-th commit seen on the file, so
// it lands right after a commit, where statements committed one by one would be cut apart.
TEST(JournalCrash, AKilledRecorderLeavesWholeRecordsOnly)
{
    TempFolder folder;
    const auto file = folder / "ornel_ftp.db";
    Journal::Create(file);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        auto stamp = Stamp(file);
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FakeClock clock(kNow);
            Journal journal(clock, nullptr);
            try {
                journal.Open(file);
                for (int i = 0; i < 100000; ++i) {
                    const std::string name = std::to_string(round) + "-" + std::to_string(i);
                    journal.AddJournalRecord(name, "", JournalEvent::OutgoingFound);
                    journal.AddJournalRecord(name, "/arc/" + name, JournalEvent::ArchivedPlain);
                    journal.AddJournalRecord(name, "", JournalEvent::Uploaded);
                }
            } catch (const std::exception&) {
                _exit(1);
            }
            _exit(0);
        }
        // Bounded by the spin count and by the child's exit.
        int commits = 0;
        int status = 0;
        bool exited = false;
        for (long spin = 0; spin < 50'000'000 && commits < 5 + 4 * round; ++spin) {
            if (const auto now = Stamp(file); now != stamp) {
                stamp = now;
                ++commits;
            }
            if (spin % 1000 == 0 && waitpid(child, &status, WNOHANG) == child) {
                exited = true;
                break;
            }
        }
        // The kill must land while the child records, after the commits counted.
        ASSERT_FALSE(exited) << "the recorder ended before the kill";
        ASSERT_EQ(commits, 5 + 4 * round) << "the kill came before the commits it follows";
        kill(child, SIGKILL);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

        RawJournal raw(file);
        EXPECT_EQ(raw.Text("PRAGMA integrity_check"), "ok");
        const auto without = [&raw](const std::string& condition, int event) {
            return raw.Integer("SELECT count(*) FROM FileList f WHERE " + condition +
                               " AND NOT EXISTS (SELECT 1 FROM LOG l WHERE l.FileID=f.ID AND l.EventType=" +
                               std::to_string(event) + ")");
        };
        EXPECT_EQ(without("1", 0), 0);
        EXPECT_EQ(without("BackupPath IS NOT NULL", 4), 0);
        EXPECT_EQ(without("State=1", 5), 0);
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG WHERE FileID NOT IN (SELECT ID FROM FileList)"), 0);
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG WHERE EventType=4"),
                  raw.Integer("SELECT count(*) FROM FileList WHERE BackupPath IS NOT NULL"));
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG WHERE EventType=5"),
                  raw.Integer("SELECT count(*) FROM FileList WHERE State=1"));
    }
}

// A batch of 80 records, 30 of them a week old, in one transaction of a journal of its own;
// the process is killed before or after the commit, so the log keeps what it committed.
void RecordBatchAndDie(const std::filesystem::path& file, bool commit)
{
    std::filesystem::remove(file);
    Journal::Create(file);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        FakeClock clock(kNow - 7.0);
        Journal journal(clock, nullptr);
        try {
            journal.Open(file);
            journal.BeginBatch();
            for (int i = 0; i < 80; ++i) {
                if (i == 30)
                    clock.Set(kNow);
                journal.AddJournalRecord("batch" + std::to_string(i), "", JournalEvent::Downloaded);
            }
            if (commit)
                journal.CommitBatch();
        } catch (const std::exception&) {
            _exit(1);
        }
        kill(getpid(), SIGKILL);
        _exit(3);
    }
    int status = 0;
    ASSERT_GE(child, 0);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_TRUE(std::filesystem::exists(file.string() + "-wal")) << "the log is left as the crash left it";
}

// A process killed in the middle of a batch leaves none of the batch's records, and one
// killed after its commit all of them: the rows of work that is done again are the only ones
// a crash can take. A journal whose committed records still stand in its log when the
// process dies is compacted with them (the week-old ones purged), and no log of the old file
// is ever left beside the compacted one, also when the compaction is killed right after the
// copy took the name.
TEST(JournalCrash, ABatchIsAllOrNothingAndTheCompactionKeepsWhatTheLogHeld)
{
    TempFolder folder;
    const auto file = folder / "ornel_ftp.db";
    const std::filesystem::path wal = file.string() + "-wal";
    enum class Round
    {
        Uncommitted,
        Committed,
        CommittedAndCompactionKilledAfterItsRename,
    };
    for (const Round round :
         {Round::Uncommitted, Round::Committed, Round::CommittedAndCompactionKilledAfterItsRename}) {
        SCOPED_TRACE(static_cast<int>(round));
        const bool commit = round != Round::Uncommitted;
        RecordBatchAndDie(file, commit);
        if (round == Round::CommittedAndCompactionKilledAfterItsRename) {
            std::vector<std::string> misses;
            for (int attempt = 0; attempt < 5; ++attempt) {
                const std::string missed = KillCompaction(KillAt::CopyRenamed, file, 50);
                if (missed.empty())
                    break;
                misses.push_back(missed);
                RecordBatchAndDie(file, commit);
            }
            EXPECT_LT(misses.size(), 5u) << ::testing::PrintToString(misses);
        }

        FakeClock clock(kNow);
        Journal journal(clock, nullptr);
        journal.Open(file);
        EXPECT_EQ(journal.TodayRows().size(), commit ? 50u : 0u);
        journal.Close();
        EXPECT_FALSE(std::filesystem::exists(wal));
        RawJournal raw(file);
        EXPECT_EQ(raw.Text("PRAGMA integrity_check"), "ok");
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM FileList"), commit ? 50 : 0);
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), commit ? 50 : 0);
    }
}

} // namespace
} // namespace ornel::test
