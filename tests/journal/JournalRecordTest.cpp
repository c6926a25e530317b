#include "journal/Journal.h"
#include "journal/JournalText.h"
#include "journal/RawJournal.h"
#include "platform/CrashPoint.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <string_view>
#include <thread>

namespace ornel::test
{
namespace
{

constexpr double kNoon = 46000.5;
constexpr double kHour = 1.0 / 24.0;

class JournalRecords : public ::testing::Test
{
protected:
    JournalRecords()
        : m_journal(m_clock, nullptr)
    {
        Journal::Create(m_file);
        m_clock.Set(kNoon);
        m_journal.Open(m_file);
    }

    // Closes the journal so the file can be read directly.
    RawJournal Reopen()
    {
        m_journal.Close();
        return RawJournal(m_file);
    }

    TempFolder m_folder;
    std::filesystem::path m_file = m_folder / "ornel_ftp.db";
    FakeClock m_clock;
    Journal m_journal;
};

FileListRow OnlyRowNamed(const std::vector<FileListRow>& rows, const std::string& name)
{
    FileListRow found;
    int count = 0;
    for (const FileListRow& row : rows) {
        if (row.FileName == name) {
            found = row;
            ++count;
        }
    }
    EXPECT_EQ(count, 1) << name;
    return found;
}

TEST(JournalText, CutCountsCharactersAndNeverSplitsASequence)
{
    EXPECT_EQ(CutToWidth("abcdef", 3), "abc");
    EXPECT_EQ(CutToWidth("ab", 3), "ab");
    EXPECT_EQ(CutToWidth("Отчёт", 3), "Отч"); // two bytes a letter
    EXPECT_EQ(CutToWidth("a\xF0\x9F\x98\x80"
                         "b",
                         2),
              "a\xF0\x9F\x98\x80");
    // A stray byte counts as one character; a truncated sequence is not taken whole.
    EXPECT_EQ(CutToWidth("\xFF\xFFz", 2), "\xFF\xFF");
    EXPECT_EQ(CutToWidth("x\xD0", 5), "x\xD0");
    EXPECT_EQ(CutToWidth("\xD0z", 1), "\xD0");
}

TEST(JournalText, ListingLinesAreTrimmedAndBlankLinesDropped)
{
    EXPECT_EQ(ListingLines(" a.txt \r\n\tb.txt\n\nc.txt\rd.txt \x01\r\n  \r\n"),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d.txt"}));
    EXPECT_TRUE(ListingLines("").empty());
    EXPECT_EQ(ListingLines("имя файла.xml"), (std::vector<std::string>{"имя файла.xml"}));
}

TEST_F(JournalRecords, EveryEventMakesItsRowChangeAndOneLogRow)
{
    m_journal.AddJournalRecord("out.txt", "", JournalEvent::OutgoingFound);
    auto rows = m_journal.TodayRows();
    FileListRow out = OnlyRowNamed(rows, "out.txt");
    EXPECT_EQ(out.Direction, "OUT");
    EXPECT_FALSE(out.State.has_value());
    EXPECT_DOUBLE_EQ(out.DateAdd, kNoon);

    m_clock.Set(kNoon + kHour);
    m_journal.AddJournalRecord("out.txt", "/arc/2025/out.txt", JournalEvent::ArchivedPlain);
    m_journal.AddJournalRecord("out.txt", "/arc/crypt/out.txt", JournalEvent::ArchivedEncrypted);
    m_journal.AddJournalRecord("out.txt", "ignored", JournalEvent::Uploaded);
    m_journal.AddJournalListing("in.txt\r\n");
    for (const auto event : {JournalEvent::Encrypted, JournalEvent::Decrypted, JournalEvent::Downloaded})
        m_journal.AddJournalRecord("plain" + std::to_string(static_cast<int>(event)), "x", event);

    rows = m_journal.TodayRows();
    ASSERT_EQ(rows.size(), 5u);
    out = OnlyRowNamed(rows, "out.txt");
    EXPECT_EQ(out.Direction, "OUT");
    EXPECT_EQ(out.State, std::optional<bool>(true));
    EXPECT_EQ(out.BackupPath, "/arc/2025/out.txt");
    EXPECT_EQ(out.BackupPathCrypt, "/arc/crypt/out.txt");
    EXPECT_DOUBLE_EQ(out.DateAdd, kNoon); // the row keeps its creation time

    const FileListRow in = OnlyRowNamed(rows, "in.txt");
    EXPECT_EQ(in.Direction, "IN");
    EXPECT_EQ(in.State, std::optional<bool>(true));
    for (const char* name : {"plain2", "plain3", "plain6"}) {
        const FileListRow plain = OnlyRowNamed(rows, name);
        EXPECT_TRUE(plain.Direction.empty());
        EXPECT_FALSE(plain.State.has_value());
        EXPECT_TRUE(plain.BackupPath.empty());
        EXPECT_TRUE(plain.BackupPathCrypt.empty());
        EXPECT_DOUBLE_EQ(plain.DateAdd, kNoon + kHour);
    }

    // The write-ahead log lives beside the file only while the journal is open.
    m_journal.AddJournalRecord("out.txt", "", JournalEvent::Encrypted);
    const auto names = [this] {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path()))
            found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"ornel_ftp.db", "ornel_ftp.db-wal"}));
    m_journal.Close();
    EXPECT_EQ(names(), (std::vector<std::string>{"ornel_ftp.db"}));
    m_journal.Open(m_file);

    const std::int64_t outId = out.ID;
    RawJournal raw = Reopen();
    EXPECT_EQ(raw.Text("SELECT group_concat(EventType, ',') FROM (SELECT EventType FROM LOG WHERE FileID=" +
                       std::to_string(outId) + " ORDER BY ID)"),
              "0,4,7,5,2");
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), 9);
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG WHERE FileID NOT IN (SELECT ID FROM FileList)"), 0);
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG WHERE EventTime IS NULL"), 0);
}

TEST_F(JournalRecords, NamesAreExactAndLongTextsCutToTheirWidth)
{
    m_journal.AddJournalRecord("Report.TXT", "", JournalEvent::OutgoingFound);
    m_journal.AddJournalRecord("report.txt", "", JournalEvent::OutgoingFound);
    m_journal.AddJournalRecord("report.txt ", "", JournalEvent::OutgoingFound);
    EXPECT_EQ(m_journal.TodayRows().size(), 3u);

    // Cyrillic letters take two bytes each: the width counts letters.
    std::string longPath = "/arc/";
    for (int i = 0; longPath.size() < 700; ++i)
        longPath += "ж";
    const std::string longName(300, 'n');
    m_journal.AddJournalRecord(longName, longPath, JournalEvent::ArchivedPlain);
    m_journal.AddJournalRecord(longName, "", JournalEvent::Uploaded);

    const auto rows = m_journal.TodayRows();
    ASSERT_EQ(rows.size(), 4u);
    const FileListRow& cut = rows.back();
    EXPECT_EQ(cut.FileName, std::string(255, 'n'));
    EXPECT_EQ(cut.BackupPath, CutToWidth(longPath, 255));
    EXPECT_EQ(cut.BackupPath.size(), 5u + 250u * 2u);
    EXPECT_EQ(cut.State, std::optional<bool>(true)); // the second call found the cut name

    FileListRow edited = cut;
    edited.Direction = "INCOMING";
    m_journal.UpdateRow(edited);
    EXPECT_EQ(m_journal.TodayRows().back().Direction, "INC");
}

TEST_F(JournalRecords, TheDayFollowsTheClockPastMidnight)
{
    m_clock.Set(46000.0 + 23.5 * kHour);
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);

    // Same run, after midnight: a new row for today; yesterday's is left as it was.
    m_clock.Set(46001.0 + 0.5 * kHour);
    EXPECT_TRUE(m_journal.TodayRows().empty());
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::Uploaded);
    auto rows = m_journal.TodayRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].Direction.empty());
    EXPECT_EQ(rows[0].State, std::optional<bool>(true));

    // And after a restart the following day.
    m_clock.Set(46002.0 + 9 * kHour);
    m_journal.Close();
    m_journal.Open(m_file);
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);
    rows = m_journal.TodayRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Direction, "OUT");
    EXPECT_FALSE(rows[0].State.has_value());

    RawJournal raw = Reopen();
    EXPECT_EQ(raw.Text("SELECT group_concat(ifnull(Direction,'-') || '/' || ifnull(State,'-'), ' ') FROM "
                       "(SELECT * FROM FileList ORDER BY ID)"),
              "OUT/- -/1 OUT/-");
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), 3);
}

TEST_F(JournalRecords, GridEditsInsertsAndDeletesSingleRows)
{
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);
    FileListRow added;
    added.FileName = "hand.txt";
    added.State = false;
    const std::int64_t id = m_journal.InsertRow(added);
    auto rows = m_journal.TodayRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].ID, id);
    EXPECT_DOUBLE_EQ(rows[1].DateAdd, kNoon);
    EXPECT_EQ(rows[1].State, std::optional<bool>(false));

    rows[1].State.reset();
    rows[1].BackupPath = "/x";
    m_journal.UpdateRow(rows[1]);
    EXPECT_FALSE(m_journal.TodayRows()[1].State.has_value());
    EXPECT_EQ(m_journal.TodayRows()[1].BackupPath, "/x");

    m_journal.DeleteRow(rows[0].ID);
    ASSERT_EQ(m_journal.TodayRows().size(), 1u);
    EXPECT_THROW(m_journal.UpdateRow(rows[0]), std::runtime_error);
    // The next record of the deleted name starts a fresh row.
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::Uploaded);
    EXPECT_GT(m_journal.TodayRows().back().ID, id);
}

// A record that fails half-way (here its LOG row is refused) leaves nothing of itself in the
// batch; what the batch held before it, grid changes included, stays with the same keys, and
// the batch goes on.
TEST_F(JournalRecords, ARecordThatFailsHalfWayLeavesNothingOfItselfAndTheBatchGoesOn)
{
    Reopen().Execute("CREATE TRIGGER refuse BEFORE INSERT ON LOG WHEN (SELECT FileName FROM FileList "
                     "WHERE ID=NEW.FileID)='bad.txt' BEGIN SELECT RAISE(ABORT, 'refused'); END");
    m_journal.Open(m_file);
    std::vector<std::string> told;
    m_journal.SetOnRecorded([&told](const std::string& name) { told.push_back(name); });

    m_journal.BeginBatch();
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);
    FileListRow hand;
    hand.FileName = "hand.txt";
    const std::int64_t handId = m_journal.InsertRow(hand);
    EXPECT_THROW(m_journal.AddJournalRecord("bad.txt", "", JournalEvent::OutgoingFound), std::runtime_error);
    EXPECT_TRUE(m_journal.InBatch());
    m_journal.AddJournalRecord("a.txt", "/arc/a.txt", JournalEvent::ArchivedPlain);
    m_journal.CommitBatch();
    EXPECT_EQ(told, (std::vector<std::string>{"a.txt", "a.txt"}));

    const auto rows = m_journal.TodayRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].FileName, "a.txt");
    EXPECT_EQ(rows[0].Direction, "OUT");
    EXPECT_EQ(rows[0].BackupPath, "/arc/a.txt");
    EXPECT_EQ(rows[1].FileName, "hand.txt");
    EXPECT_EQ(rows[1].ID, handId);

    RawJournal raw = Reopen();
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), 2);
    EXPECT_EQ(raw.Text("SELECT group_concat(EventType, ' ') FROM (SELECT EventType FROM LOG ORDER BY ID)"),
              "0 4");
}

// When the batch cannot be given its earlier records back after a failed one (here the store
// keeps refusing once a few rows were written), the batch holds nothing and says so: its later
// records and its commit fail, so nothing that it describes is taken as journaled.
TEST_F(JournalRecords, ABatchThatCannotBeRestoredAfterAFailedRecordFailsItsCommit)
{
    Reopen().Execute("CREATE TRIGGER refuse BEFORE INSERT ON LOG WHEN total_changes() >= 3 "
                     "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    m_journal.Open(m_file);
    m_journal.BeginBatch();
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);
    EXPECT_THROW(m_journal.AddJournalRecord("b.txt", "", JournalEvent::OutgoingFound), std::runtime_error);
    EXPECT_THROW(m_journal.AddJournalRecord("c.txt", "", JournalEvent::OutgoingFound), std::runtime_error);
    try {
        m_journal.CommitBatch();
        ADD_FAILURE() << "the commit of a batch that lost its records succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("не восстановлены"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(m_journal.InBatch());
    EXPECT_TRUE(m_journal.TodayRows().empty());
}

// A batch is one transaction: a view of the rows hears of them at the commit, in order; a
// batch rolled back leaves nothing; a listing alone is a transaction of its own.
TEST_F(JournalRecords, ABatchIsToldAtItsCommitAndARolledBackOneLeavesNothing)
{
    std::vector<std::string> told;
    m_journal.SetOnRecorded([&told](const std::string& name) { told.push_back(name); });

    m_journal.BeginBatch();
    EXPECT_TRUE(m_journal.InBatch());
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);
    m_journal.AddJournalListing("b.txt\r\nc.txt");
    m_journal.AddJournalRecord("a.txt", "/arc/a.txt", JournalEvent::ArchivedPlain);
    EXPECT_TRUE(told.empty()) << "nothing is committed yet";
    m_journal.CommitBatch();
    EXPECT_FALSE(m_journal.InBatch());
    EXPECT_EQ(told, (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "a.txt"}));

    told.clear();
    m_journal.BeginBatch();
    m_journal.AddJournalRecord("d.txt", "", JournalEvent::Downloaded);
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::Uploaded);
    m_journal.RollbackBatch();
    EXPECT_TRUE(told.empty());
    const FileListRow a = OnlyRowNamed(m_journal.TodayRows(), "a.txt");
    EXPECT_FALSE(a.State.has_value()) << "the rolled back upload left its row unchanged";

    m_journal.AddJournalRecords({"e.txt", "f.txt"}, JournalEvent::OutgoingFound);
    EXPECT_EQ(told, (std::vector<std::string>{"e.txt", "f.txt"}));

    RawJournal raw = Reopen();
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM FileList WHERE FileName='d.txt'"), 0);
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM FileList"), 5);
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG"), 6);
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM LOG WHERE EventType=5"), 0);
}

// The commit of a batch under way, as the hook below sees it from the committing thread.
std::atomic<bool> g_commitHasConnection{false};
std::atomic<bool> g_rowCallComing{false};
std::mutex g_orderMutex;
std::vector<std::string> g_order;

void Note(const std::string& what)
{
    const std::lock_guard lock(g_orderMutex);
    g_order.push_back(what);
}

// Holds the commit once it has the connection until the grid's call is about to come, and a
// while after, so that a call that did not wait would come first.
void HoldTheCommit(std::string_view point)
{
    if (point != "batch-committing") {
        return;
    }
    g_commitHasConnection = true;
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!g_rowCallComing && std::chrono::steady_clock::now() < bound) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Note("commit");
}

// Every commit of a batch, a listing's own included, runs where the aside runs it (the tray
// application puts it on the FTP client's thread); the view still hears of the rows on the
// caller's thread, and a row call of the status window's grid made while a commit is under
// way waits for it.
TEST_F(JournalRecords, CommitsRunWhereTheAsideRunsThemAndTheGridWaitsForThem)
{
    const auto caller = std::this_thread::get_id();
    std::vector<std::thread::id> committedOn;
    m_journal.SetCommitAside([&committedOn](const std::function<void()>& commit) {
        std::thread aside([&] {
            committedOn.push_back(std::this_thread::get_id());
            commit();
        });
        aside.join();
    });
    std::vector<std::string> told;
    m_journal.SetOnRecorded([&](const std::string& name) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        told.push_back(name);
    });

    m_journal.BeginBatch();
    m_journal.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);
    m_journal.CommitBatch();
    m_journal.AddJournalRecords({"b.txt", "c.txt"}, JournalEvent::ListedOnServer);
    ASSERT_EQ(committedOn.size(), 2u);
    EXPECT_NE(committedOn[0], caller);
    EXPECT_EQ(told, (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));

    // A grid edit while the next batch's commit holds the connection.
    FileListRow a = OnlyRowNamed(m_journal.TodayRows(), "a.txt");
    a.BackupPath = "/edited";
    g_commitHasConnection = false;
    g_rowCallComing = false;
    g_order.clear();
    SetCrashPointHookForTesting(&HoldTheCommit);
    std::thread beside;
    m_journal.SetCommitAside(
        [&beside](const std::function<void()>& commit) { beside = std::thread(commit); });
    m_journal.BeginBatch();
    m_journal.AddJournalRecord("d.txt", "", JournalEvent::Downloaded);
    m_journal.CommitBatch(); // returns at once: the commit goes on beside
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!g_commitHasConnection && std::chrono::steady_clock::now() < bound) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    g_rowCallComing = true;
    m_journal.UpdateRow(a);
    Note("row");
    beside.join();
    SetCrashPointHookForTesting(nullptr);
    m_journal.SetCommitAside(nullptr);
    EXPECT_EQ(g_order, (std::vector<std::string>{"commit", "row"}));

    RawJournal raw = Reopen();
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM FileList WHERE FileName='d.txt'"), 1);
    EXPECT_EQ(raw.Integer("SELECT count(*) FROM FileList WHERE BackupPath='/edited'"), 1);
}

} // namespace
} // namespace ornel::test
