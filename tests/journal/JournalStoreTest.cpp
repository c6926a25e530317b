#include "journal/Journal.h"
#include "journal/RawJournal.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ornel::test
{
namespace
{

constexpr double kNow = 46000.5;
constexpr double kHour = 1.0 / 24.0;
constexpr const char* kCompacting = "Сжатие локальной БД........";

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
    // Whatever the umask: nobody but its owner reads a new journal.
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
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
    // Permissions given to share the journal with a group outlive the compaction's copy.
    ASSERT_EQ(chmod(file.c_str(), 0660), 0);
    std::int64_t lastId = 0;
    {
        RawJournal raw(file);
        lastId = raw.Integer("SELECT max(ID) FROM FileList");
        EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), 2 * 23);
    }

    // A compaction that cannot write its copy leaves the rows as they were, gives the title
    // back and keeps the journal closed with that error. (Opening puts the file into
    // write-ahead mode, which rewrites its header; the rows are what must not change.)
    const auto rows = [&file] {
        RawJournal raw(file);
        return raw.Text(
                   "SELECT group_concat(ID || '|' || FileName || '|' || ifnull(BackupPath, '') || '|' || "
                   "DateAdd, ';') FROM FileList") +
               "/" + raw.Text("SELECT group_concat(ID || '|' || FileID || '|' || EventType, ';') FROM LOG");
    };
    const std::string beforeFailure = rows();
    std::filesystem::create_directories(folder / "ornel_ftp.db.tmp" / "busy");
    std::string failure;
    try {
        journal.Open(file);
        ADD_FAILURE() << "compacted without its copy";
    } catch (const std::runtime_error& e) {
        failure = e.what();
    }
    EXPECT_NE(failure.find("ornel_ftp.db.tmp"), std::string::npos) << failure;
    EXPECT_EQ(titles, (std::vector<std::string>{kCompacting, "Ornel FTP"}));
    titles.clear();
    EXPECT_FALSE(journal.IsOpen());
    try {
        journal.AddJournalRecord("a.txt", "", JournalEvent::Uploaded);
        ADD_FAILURE() << "recorded into a closed journal";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(e.what(), failure);
    }
    EXPECT_EQ(rows(), beforeFailure) << "a failed compaction changed the rows";
    std::filesystem::remove_all(folder / "ornel_ftp.db.tmp");

    journal.Open(file);
    EXPECT_EQ(titles, (std::vector<std::string>{kCompacting, "Ornel FTP"}));
    EXPECT_TRUE(journal.IsOpen());
    journal.AddJournalRecord("new.txt", "", JournalEvent::OutgoingFound);
    journal.Close();

    EXPECT_LT(std::filesystem::file_size(file), sizeBefore);
    // The replaced file is closed, not kept open by a connection that failed to close.
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        EXPECT_EQ(std::filesystem::read_symlink(fd.path(), ec).string().find("ornel_ftp.db"),
                  std::string::npos)
            << fd.path();
    }
    struct stat st
    {
    };
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
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

} // namespace
} // namespace ornel::test
