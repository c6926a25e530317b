// The journal's file on Windows: created under a name of any characters, never over a file,
// held by one journal at a time, and compacted by replacing a file that Windows will not
// rename over while it is open.
#include "journal/Journal.h"
#include "journal/RawJournal.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

namespace ornel::test
{
namespace
{

constexpr double kNow = 46000.5;
constexpr double kHour = 1.0 / 24.0;

void Seed(const std::filesystem::path& file, double when, int count, const std::string& prefix)
{
    FakeClock clock(when);
    Journal journal(clock, nullptr);
    journal.Open(file);
    for (int i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(i);
        journal.AddJournalRecord(name, "", JournalEvent::OutgoingFound);
        journal.AddJournalRecord(name, "C:\\arc\\" + std::string(240, 'p'), JournalEvent::ArchivedPlain);
    }
}

TEST(JournalFile, ACyrillicFolderHoldsTheJournalThroughCreationRecordsAndCompaction)
{
    TempFolder folder;
    const auto dir = folder / "Журнал обмена";
    std::filesystem::create_directory(dir);
    const auto file = dir / PathFromUtf8("ornel_ftp.db");
    Journal::Create(file);
    EXPECT_THROW(Journal::Create(file), std::runtime_error) << "created over an existing journal";

    Seed(file, kNow - 3.0, 21, "old");
    Seed(file, kNow - kHour, 2, "отчёт");

    FakeClock clock(kNow);
    Journal journal(clock, nullptr);
    // More than twenty old rows: opening compacts, which on Windows must close the file
    // before the copy takes its name.
    journal.Open(file);
    ASSERT_TRUE(journal.IsOpen());
    journal.AddJournalRecord("новый.txt", "", JournalEvent::Uploaded);
    journal.Close();

    EXPECT_EQ(FolderNames(dir), std::vector<std::string>{"ornel_ftp.db"}) << "a copy or log was left behind";
    RawJournal raw(file);
    EXPECT_EQ(raw.Text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(raw.Text("SELECT group_concat(FileName, ' ') FROM (SELECT FileName FROM FileList ORDER BY ID)"),
              "отчёт0 отчёт1 новый.txt");
}

TEST(JournalFile, AJournalHeldOpenCannotBeOpenedASecondTime)
{
    TempFolder folder;
    const auto file = folder / "ornel_ftp.db";
    Journal::Create(file);
    FakeClock clock(kNow);
    Journal first(clock, nullptr);
    first.Open(file);
    first.AddJournalRecord("a.txt", "", JournalEvent::OutgoingFound);

    Journal second(clock, nullptr);
    EXPECT_THROW(second.Open(file), std::runtime_error);
    EXPECT_FALSE(second.IsOpen());
    // The first one goes on recording.
    first.AddJournalRecord("b.txt", "", JournalEvent::OutgoingFound);
    EXPECT_EQ(first.TodayRows().size(), 2u);
}

} // namespace
} // namespace ornel::test
