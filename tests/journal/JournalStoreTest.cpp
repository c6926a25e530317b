#include "journal/Journal.h"
#include "journal/RawJournal.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ornel::test
{
namespace
{

constexpr double kNow = 46000.5;
constexpr double kHour = 1.0 / 24.0;
constexpr const char* kCompacting = "Сжатие локальной БД........";

std::vector<std::string> FolderNames(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Journals `count` names at `when`, with long archive paths so the rows weigh something.
void Seed(const std::filesystem::path& file, double when, int count, const std::string& prefix)
{
    FakeClock clock(when);
    Journal journal(clock, nullptr);
    journal.Open(file);
    for (int i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(i);
        journal.AddJournalRecord(name, "", JournalEvent::OutgoingFound);
        journal.AddJournalRecord(name, "/arc/" + std::string(240, 'p'), JournalEvent::ArchivedPlain);
    }
}

// Expects Open to fail, and every later record to fail with the same message.
std::string ExpectOpenFails(const std::filesystem::path& file)
{
    FakeClock clock(kNow);
    Journal journal(clock, nullptr);
    std::string message;
    try {
        journal.Open(file);
        ADD_FAILURE() << "opened " << file;
    } catch (const std::runtime_error& e) {
        message = e.what();
    }
    EXPECT_FALSE(journal.IsOpen());
    EXPECT_TRUE(journal.TodayRows().empty());
    for (int call = 0; call < 2; ++call) {
        try {
            journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);
            ADD_FAILURE() << "recorded without an open journal";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(e.what(), message);
        }
    }
    EXPECT_THROW(journal.InsertRow(FileListRow{}), std::runtime_error);
    return message;
}

TEST(JournalStore, CreateMakesAnEmptyJournalAndNeverOverwrites)
{
    TempFolder folder;
    const auto file = folder / "ornel_ftp.db";
    Journal::Create(file);
    EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{"ornel_ftp.db"});
    {
        RawJournal raw(file);
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM FileList"), 0);
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), 0);
    }
    Seed(file, kNow, 1, "kept");
    const std::string before = ReadFile(file);
    try {
        Journal::Create(file);
        ADD_FAILURE() << "overwrote the journal";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("уже существует"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(ReadFile(file) == before) << "the journal was overwritten";
    EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{"ornel_ftp.db"});

    EXPECT_THROW(Journal::Create(folder / "missing" / "ornel_ftp.db"), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

TEST(JournalStore, UnusableFilesFailAtOpenAndAtEveryRecord)
{
    TempFolder folder;
    const std::string missing = ExpectOpenFails(folder / "ornel_ftp.db");
    EXPECT_NE(missing.find("ornel_ftp.db"), std::string::npos) << missing;
    EXPECT_FALSE(std::filesystem::exists(folder / "ornel_ftp.db")); // never created by opening

    const auto otherKey = folder / "other.db";
    RawJournal(otherKey, "not the journal's").Execute("CREATE TABLE FileList (ID INTEGER)");
    EXPECT_NE(ExpectOpenFails(otherKey).find("not a database"), std::string::npos);

    const auto noLog = folder / "nolog.db";
    RawJournal(noLog).Execute("CREATE TABLE FileList (ID INTEGER PRIMARY KEY AUTOINCREMENT, FileName, "
                              "BackupPathCrypt, BackupPath, DateAdd, Direction, State)");
    EXPECT_NE(ExpectOpenFails(noLog).find("LOG"), std::string::npos);

    const auto garbage = folder / "garbage.db";
    WriteFile(garbage, std::string(4096, 'x'));
    ExpectOpenFails(garbage);
}

TEST(JournalStore, ASecondProcessCannotOpenAHeldJournal)
{
    TempFolder folder;
    const auto file = folder / "ornel_ftp.db";
    Journal::Create(file);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FakeClock clock(kNow);
        Journal journal(clock, nullptr);
        char signal = 'f';
        try {
            journal.Open(file);
            signal = 'r';
        } catch (const std::exception&) {
        }
        (void)!write(ready[1], &signal, 1);
        (void)!read(release[0], &signal, 1);
        _exit(0);
    }
    char signal = 0;
    ASSERT_EQ(read(ready[0], &signal, 1), 1);
    ASSERT_EQ(signal, 'r');

    EXPECT_NE(ExpectOpenFails(file).find("locked"), std::string::npos);

    ASSERT_EQ(write(release[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);

    FakeClock clock(kNow);
    Journal journal(clock, nullptr);
    journal.Open(file); // free again once the holder is gone
    journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);
    EXPECT_EQ(journal.TodayRows().size(), 1u);
}

TEST(JournalStore, TwentyOldRowsStayAndTheTwentyFirstStartsThePurge)
{
    TempFolder folder;
    const auto file = folder / "ornel_ftp.db";
    Journal::Create(file);
    Seed(file, kNow - 1.0 - kHour, 20, "old");
    Seed(file, kNow - 23 * kHour, 2, "recent");

    FakeClock clock(kNow);
    std::vector<std::string> titles;
    Journal journal(clock, [&](const std::string& title) { titles.push_back(title); });
    const std::string untouched = ReadFile(file);
    journal.Open(file);
    journal.Close();
    EXPECT_TRUE(titles.empty());
    EXPECT_TRUE(ReadFile(file) == untouched) << "the file was rewritten";

    Seed(file, kNow - 3.0, 1, "older");
    const auto sizeBefore = std::filesystem::file_size(file);
    std::int64_t lastId = 0;
    {
        RawJournal raw(file);
        lastId = raw.Integer("SELECT max(ID) FROM FileList");
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), 2 * 23);
    }
    journal.Open(file);
    EXPECT_EQ(titles, (std::vector<std::string>{kCompacting, "Ornel FTP"}));
    EXPECT_TRUE(journal.IsOpen());
    journal.AddJournalRecord("new.txt", "", JournalEvent::OutgoingFound);
    journal.Close();

    EXPECT_LT(std::filesystem::file_size(file), sizeBefore);
    EXPECT_EQ(FolderNames(folder.Path()), std::vector<std::string>{"ornel_ftp.db"});
    RawJournal raw(file);
    EXPECT_EQ(raw.Text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(raw.Text("SELECT group_concat(FileName, ' ') FROM (SELECT FileName FROM FileList ORDER BY ID)"),
              "recent0 recent1 new.txt");
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), 2 * 2 + 1);
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG WHERE FileID NOT IN (SELECT ID FROM FileList)"), 0);
    // Purged keys are not handed out again.
    EXPECT_GT(raw.Integer("SELECT ID FROM FileList WHERE FileName='new.txt'"), lastId);
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM sqlite_master WHERE type='index'"), 2);
}

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

TEST(JournalStore, AKilledCompactionNeverLosesTheJournal)
{
    TempFolder folder;
    const auto heavy = HeavyJournal(folder);
    const auto heavySize = std::filesystem::file_size(heavy);
    const auto file = folder / "ornel_ftp.db";
    const std::filesystem::path tmp = file.string() + ".tmp";

    for (const KillAt when : {KillAt::CompactionStart, KillAt::CopyCreated, KillAt::CopySchemaWritten,
                              KillAt::CopyRenamed, KillAt::Never}) {
        SCOPED_TRACE(static_cast<int>(when));
        std::filesystem::copy_file(heavy, file, std::filesystem::copy_options::overwrite_existing);
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
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
        ASSERT_EQ(read(started[0], &c, 1), 1);
        close(started[0]);

        // Bounded by the child: each poll stops once it has exited.
        int status = 0;
        bool exited = false;
        const auto pollUntil = [&](auto reached) {
            for (long spin = 0; spin < 50'000'000 && !reached(); ++spin) {
                if (waitpid(child, &status, WNOHANG) == child) {
                    exited = true;
                    return;
                }
            }
        };
        std::error_code ec;
        switch (when) {
        case KillAt::CompactionStart:
        case KillAt::Never:
            break;
        case KillAt::CopyCreated:
            pollUntil([&] { return std::filesystem::exists(tmp); });
            break;
        case KillAt::CopySchemaWritten:
            pollUntil([&] { return std::filesystem::file_size(tmp, ec) > 0 && !ec; });
            break;
        case KillAt::CopyRenamed:
            pollUntil([&] { return std::filesystem::exists(tmp); });
            if (!exited)
                pollUntil([&] { return !std::filesystem::exists(tmp); });
            break;
        }
        if (!exited) {
            if (when != KillAt::Never)
                kill(child, SIGKILL);
            ASSERT_EQ(waitpid(child, &status, 0), child);
        }
        if (when == KillAt::Never) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }

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
    }
}

} // namespace
} // namespace ornel::test
