#include "engine/ExchangeBatch.h"
#include "engine/FilesFixture.h"
#include "platform/CrashPoint.h"

#include <gtest/gtest.h>
#include <string_view>
#include <sys/resource.h>

namespace ornel::test
{

namespace fs = std::filesystem;

namespace
{

constexpr const char* kStamp = "08.12.2026 14-05-09.123";

// What stood in the source and target folders at each commit of a batch.
fs::path g_source;
fs::path g_target;
fs::path g_archive;
struct AtCommit
{
    std::size_t Sources;
    std::size_t Targets;
    std::size_t Archived;
};
std::vector<AtCommit> g_atCommit;

void CountAtCommit(std::string_view point)
{
    if (point == "batch-committed") {
        g_atCommit.push_back({FilesFixture::FilesIn(g_source).size(), FilesFixture::FilesIn(g_target).size(),
                              FilesFixture::FilesIn(g_archive).size()});
    }
}

} // namespace

TEST(FolderLayout, DepthsAndWorkingFolders)
{
    FilesFixture f;
    for (const auto& [dir, depth] :
         std::vector<std::pair<std::string, int>>{{"In", 1}, {"a/b", 2}, {"/In", 2}, {"Out/", 2}, {"", 1}}) {
        f.layout.SetFtpIn(dir);
        f.layout.SetFtpOut(dir);
        EXPECT_EQ(f.layout.FtpInDepth(), depth) << dir;
        EXPECT_EQ(f.layout.FtpOutDepth(), depth) << dir;
    }
    EXPECT_EQ(f.settings.FtpOut, "");

    const std::string send = (f.root / "deep/er/Send").string();
    f.layout.SetTempSend(send + "/");
    EXPECT_EQ(f.settings.TempSend, send + "/");
    EXPECT_EQ(f.layout.TempSendPlain(), send + "/temp2");
    EXPECT_TRUE(fs::is_directory(send + "/temp2"));

    f.layout.SetTempReciv(f.Dir("Reciv"));
    EXPECT_EQ(f.layout.TempRecivPlain(), f.Dir("Reciv") + "/temp2");
    EXPECT_TRUE(fs::is_directory(f.layout.TempRecivPlain()));

    // No working folder: no plain folder in the root of the file system either.
    f.layout.SetTempReciv("");
    EXPECT_EQ(f.layout.TempRecivPlain(), "");
}

TEST(FolderLayout, ArchiveDayFolders)
{
    FilesFixture f;
    const std::string arc = (f.root / "Arc/Sent").string();
    f.layout.SetArcReciv2(arc);
    EXPECT_EQ(f.layout.ArcReciv2DayFolder(), arc + "/20261208");
    EXPECT_TRUE(fs::is_directory(arc + "/20261208"));
    f.layout.SetArcReciv2(arc); // existing: taken as it is
    EXPECT_EQ(f.layout.ArcReciv2DayFolder(), arc + "/20261208");

    // A day folder that cannot be created falls back to the setting itself.
    WriteFile(f.root / "blocker", "a file where a folder should be");
    const std::string blocked = (f.root / "blocker").string();
    f.layout.SetArcSend(blocked);
    EXPECT_EQ(f.layout.ArcSendDayFolder(), blocked);
    EXPECT_EQ(f.settings.ArcSend, blocked);

    // No setting means no archive, not a folder in the root.
    f.layout.SetArcSend2("");
    f.layout.SetArcReciv("  ");
    EXPECT_EQ(f.layout.ArcSend2DayFolder(), "");
    EXPECT_EQ(f.layout.ArcRecivDayFolder(), "");
    EXPECT_FALSE(fs::exists("/20261208"));

    // The day is fixed when the setter runs.
    f.clock.Set(EncodeDateTime({2026, 12, 9, 0, 0, 1, 0}));
    EXPECT_EQ(f.layout.ArcReciv2DayFolder(), arc + "/20261208");
    f.layout.SetArcReciv2(arc);
    EXPECT_EQ(f.layout.ArcReciv2DayFolder(), arc + "/20261209");
}

TEST(FileMoves, CountFilesListsLogsAndJournalsOnlyThePostBox)
{
    FilesFixture f;
    const std::string box = f.Dir("PostBox/Out");
    f.settings.PostBoxOut = box;
    WriteFile(fs::path(box) / "b.txt", "b");
    WriteFile(fs::path(box) / "a", "a");
    WriteFile(fs::path(box) / ".hidden", "h");
    fs::create_directory(fs::path(box) / "sub");

    EXPECT_EQ(f.moves.CountFiles(box, true), 3);
    EXPECT_EQ(f.Lines(),
              (std::vector<std::string>{"Папка: " + box, ".hidden", "a", "b.txt", "Всего файлов:3"}));
    auto rows = f.Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows["a"].Direction, "OUT");

    // The same folder spelled differently is not the post box: listed, not journaled.
    f.settings.PostBoxOut = box + "/";
    EXPECT_EQ(f.moves.CountFiles(box, true), 3);
    f.settings.PostBoxOut = box;
    fs::remove(fs::path(box) / "a");
    f.desktop.ProtocolLines.clear();
    EXPECT_EQ(f.moves.CountFiles(box, false), 2);
    EXPECT_TRUE(f.Lines().empty());

    const std::string empty = f.Dir("Empty");
    EXPECT_EQ(f.moves.CountFiles(empty, true), 0);
    EXPECT_EQ(f.Lines(), (std::vector<std::string>{"Папка: " + empty, "Нет файлов"}));
    EXPECT_EQ(f.Rows().size(), 3u);
}

TEST(FileMoves, BackupFileGivesDatedNamesOnClash)
{
    FilesFixture f;
    const std::string to = f.Dir("to") + "/";
    WriteFile(f.root / "a.txt", "first");
    WriteFile(f.root / "noext", "plain");

    EXPECT_EQ(f.moves.BackupFile(f.root / "a.txt", to), fs::path(to + "a.txt"));
    WriteFile(f.root / "a.txt", "second");
    EXPECT_EQ(f.moves.BackupFile(f.root / "a.txt", to), fs::path(to + "a" + kStamp + ".txt"));
    // The same millisecond again: both names taken, nothing is overwritten.
    WriteFile(f.root / "a.txt", "third");
    EXPECT_FALSE(f.moves.BackupFile(f.root / "a.txt", to));
    EXPECT_EQ(ReadFile(to + "a.txt"), "first");
    EXPECT_EQ(ReadFile(to + "a" + kStamp + ".txt"), "second");

    EXPECT_TRUE(f.moves.BackupFile(f.root / "noext", to));
    EXPECT_EQ(f.moves.BackupFile(f.root / "noext", to), fs::path(to + "noext" + kStamp));

    // A failed copy (no such folder) leaves the source for MoveByCopy.
    EXPECT_FALSE(f.moves.MoveByCopy(f.root / "a.txt", (f.root / "nowhere").string() + "/"));
    EXPECT_EQ(ReadFile(f.root / "a.txt"), "third");
    EXPECT_EQ(f.moves.MoveByCopy(f.root / "a.txt", f.Dir("moved") + "/"),
              fs::path(f.Dir("moved") + "/a.txt"));
    EXPECT_FALSE(fs::exists(f.root / "a.txt"));
}

TEST(FileMoves, MoveWithBackupOutgoingArchivesAndJournalsTheMovedFile)
{
    FilesFixture f;
    const std::string box = f.Dir("PostBox/Out");
    f.layout.SetTempSend(f.Dir("Send"));
    f.layout.SetArcReciv2((f.root / "Arc/Sent").string());
    const std::string plain = f.layout.TempSendPlain();
    const std::string day = f.layout.ArcReciv2DayFolder();
    WriteFile(fs::path(box) / "report.txt", "новый отчёт");
    WriteFile(fs::path(box) / "order.bin", "order");
    fs::create_directory(fs::path(box) / "keep");
    WriteFile(fs::path(box) / "keep" / "inner", "x");
    WriteFile(fs::path(plain) / "report.txt", "отчёт прошлого цикла");

    f.moves.MoveWithBackup(TransferDirection::Outgoing, box, plain);

    EXPECT_EQ(FilesFixture::FilesIn(box), std::vector<std::string>{});
    EXPECT_TRUE(fs::exists(fs::path(box) / "keep" / "inner"));
    const std::string dated = std::string("report") + kStamp + ".txt";
    EXPECT_EQ(FilesFixture::FilesIn(plain), (std::vector<std::string>{"order.bin", "report.txt", dated}));
    EXPECT_EQ(ReadFile(fs::path(plain) / "report.txt"), "отчёт прошлого цикла");
    EXPECT_EQ(ReadFile(fs::path(plain) / dated), "новый отчёт");
    // The archive holds the file that was moved, not the older one of the same name.
    EXPECT_EQ(FilesFixture::FilesIn(day), (std::vector<std::string>{"order.bin", dated}));
    EXPECT_EQ(ReadFile(fs::path(day) / dated), "новый отчёт");
    EXPECT_TRUE(f.Logged("Резервное коприрование файла " + plain + "/order.bin в папку " + day));

    // Both archive copies are recorded on the files' own rows, with the copies' real paths.
    auto rows = f.Rows();
    EXPECT_EQ(rows["order.bin"].BackupPath, day + "/order.bin");
    EXPECT_EQ(rows["report.txt"].BackupPath, day + "/" + dated);
    EXPECT_EQ(rows.count(dated), 0u);
}

// Many files go in bounded batches, and nothing leaves its folder before its batch is
// journaled. Outgoing: each batch's copies have their names before its commit, its sources
// go only after it. Incoming (a delivery of our own working files, moved by a rename): each
// batch's archive copies have their names before its commit, its files move only after it.
TEST(FileMoves, MoveWithBackupWorksInBatchesAndMovesNothingBeforeEachCommit)
{
    for (const auto direction : {TransferDirection::Outgoing, TransferDirection::Incoming}) {
        const bool incoming = direction == TransferDirection::Incoming;
        SCOPED_TRACE(incoming ? "incoming" : "outgoing");
        FilesFixture f;
        const std::string box = f.Dir(incoming ? "PostBox/In" : "Send/temp2");
        const std::string from = f.Dir(incoming ? "Reciv/temp2" : "PostBox/Out");
        f.layout.SetArcSend2((f.root / "Arc/Received").string());
        f.layout.SetArcReciv2((f.root / "Arc/Sent").string());
        const int files = 2 * static_cast<int>(ExchangeBatch::kMaxFiles) + 44;
        for (int i = 0; i < files; ++i) {
            WriteFile(fs::path(from) / ("f" + std::to_string(i)), std::to_string(i));
        }
        g_source = from;
        g_target = box;
        g_archive = incoming ? f.layout.ArcSend2DayFolder() : f.layout.ArcReciv2DayFolder();
        g_atCommit.clear();
        SetCrashPointHookForTesting(&CountAtCommit);
        f.moves.MoveWithBackup(direction, from, box);
        SetCrashPointHookForTesting(nullptr);

        // No batch holds more than its bound (a batch that reaches its time bound first is
        // smaller).
        const std::size_t n = static_cast<std::size_t>(files);
        ASSERT_GE(g_atCommit.size(), 3u);
        std::size_t done = 0; // the files of the batches before
        for (const AtCommit& at : g_atCommit) {
            EXPECT_EQ(at.Sources, n - done);
            EXPECT_GT(at.Archived, done);
            EXPECT_LE(at.Archived - done, ExchangeBatch::kMaxFiles);
            EXPECT_EQ(at.Targets, incoming ? done : at.Archived);
            done = at.Archived;
        }
        EXPECT_EQ(done, n);
        EXPECT_TRUE(FilesFixture::FilesIn(from).empty());
        EXPECT_EQ(FilesFixture::FilesIn(box).size(), n);
        EXPECT_EQ(FilesFixture::FilesIn(g_archive).size(), n);
        EXPECT_EQ(ReadFile(fs::path(box) / "f299"), "299");
        EXPECT_EQ(ReadFile(fs::path(g_archive) / "f299"), "299");
        const auto rows = f.Rows();
        EXPECT_EQ(rows.size(), n);
        EXPECT_EQ(rows.at("f7").BackupPath, g_archive.string() + "/f7");
    }
}

// Every staged file holds a descriptor until its batch is placed; where the process may open
// only a few hundred files (1024 is a common default), batches stay below that instead of
// failing the copies.
TEST(FileMoves, BatchesStayWithinTheFilesTheProcessMayOpen)
{
    struct rlimit saved
    {
    };
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 320) {
        GTEST_SKIP() << "the hard limit of open files is below 320";
    }
    FilesFixture f;
    const std::string box = f.Dir("PostBox/In");
    const std::string from = f.Dir("Reciv/temp2");
    f.layout.SetArcSend2((f.root / "Arc/Received").string());
    const int files = 600;
    for (int i = 0; i < files; ++i) {
        WriteFile(fs::path(from) / ("f" + std::to_string(i)), std::to_string(i));
    }
    struct rlimit low = saved;
    low.rlim_cur = 320;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::string failure;
    try {
        f.moves.MoveWithBackup(TransferDirection::Incoming, from, box);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(failure, "");
    EXPECT_TRUE(FilesFixture::FilesIn(from).empty());
    EXPECT_EQ(FilesFixture::FilesIn(box).size(), static_cast<std::size_t>(files));
    EXPECT_EQ(FilesFixture::FilesIn(f.layout.ArcSend2DayFolder()).size(), static_cast<std::size_t>(files));
}

TEST(FileMoves, MoveWithBackupIncomingWithAndWithoutArchive)
{
    FilesFixture f;
    f.layout.SetTempReciv(f.Dir("Reciv"));
    const std::string plain = f.layout.TempRecivPlain();
    const std::string in = f.Dir("PostBox/In");
    WriteFile(fs::path(plain) / "answer.txt", "ответ");

    f.moves.MoveWithBackup(TransferDirection::Incoming, plain, in);
    EXPECT_EQ(FilesFixture::FilesIn(in), std::vector<std::string>{"answer.txt"});
    EXPECT_TRUE(f.Lines().empty()) << "no archive folder: no copy and no line";
    EXPECT_TRUE(f.Rows().empty());

    f.layout.SetArcSend2((f.root / "Arc/Received").string());
    f.layout.SetArcReciv2((f.root / "Arc/Sent").string());
    WriteFile(fs::path(plain) / "second.txt", "2");
    f.moves.MoveWithBackup(TransferDirection::Incoming, plain + "/", in);
    EXPECT_EQ(FilesFixture::FilesIn(f.layout.ArcSend2DayFolder()), std::vector<std::string>{"second.txt"});
    EXPECT_TRUE(FilesFixture::FilesIn(f.layout.ArcReciv2DayFolder()).empty());
    EXPECT_EQ(f.Rows()["second.txt"].BackupPath, f.layout.ArcSend2DayFolder() + "/second.txt");

    // A delivery that meets a file of its name in the post box: the row of the document
    // (listed, downloaded, decrypted) gets the archive path of the dated copy.
    f.journal.AddJournalRecord("answer.txt", "", JournalEvent::ListedOnServer);
    WriteFile(fs::path(plain) / "answer.txt", "второй ответ");
    f.moves.MoveWithBackup(TransferDirection::Incoming, plain, in);
    const std::string dated = std::string("answer") + kStamp + ".txt";
    EXPECT_EQ(ReadFile(fs::path(in) / dated), "второй ответ");
    auto rows = f.Rows();
    EXPECT_EQ(rows["answer.txt"].BackupPath, f.layout.ArcSend2DayFolder() + "/" + dated);
    EXPECT_EQ(rows["answer.txt"].Direction, "IN");
    EXPECT_EQ(rows.count(dated), 0u) << "no red row without a direction for the copy";
    EXPECT_EQ(ReadFile(fs::path(f.layout.ArcSend2DayFolder()) / dated), "второй ответ");

    // Encrypted archive copies go by direction as well.
    f.layout.SetArcSend((f.root / "Arc/ReceivedEncrypted").string());
    WriteFile(f.root / "x.enc", "cipher");
    f.moves.BackupCrypt(TransferDirection::Incoming, (f.root / "x.enc").string());
    EXPECT_EQ(f.Rows()["x.enc"].BackupPathCrypt, f.layout.ArcSendDayFolder() + "/x.enc");
    EXPECT_TRUE(fs::exists(f.root / "x.enc"));
}

TEST(FileMoves, ArchiveFailureStopsTheMoveAfterTheMovedFile)
{
    FilesFixture f;
    const std::string box = f.Dir("Out");
    const std::string target = f.Dir("Plain");
    f.layout.SetArcReciv2((f.root / "Arc").string());
    // The day folder disappears and a file takes its name: every archive copy fails.
    fs::remove(f.layout.ArcReciv2DayFolder());
    WriteFile(f.layout.ArcReciv2DayFolder(), "");
    WriteFile(fs::path(box) / "1.txt", "1");
    WriteFile(fs::path(box) / "2.txt", "2");

    try {
        f.moves.MoveWithBackup(TransferDirection::Outgoing, box, target);
        FAIL() << "expected the archive error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Немогу сохранить файл");
    }
    EXPECT_EQ(FilesFixture::FilesIn(target), std::vector<std::string>{"1.txt"});
    EXPECT_EQ(FilesFixture::FilesIn(box), std::vector<std::string>{"2.txt"});
}

TEST(FileMoves, NamesWithoutWindows1251FormStayWithAnError)
{
    FilesFixture f;
    const std::string box = f.Dir("Out");
    const std::string target = f.Dir("Plain");
    const std::string odd = "отчёт_文件.txt";
    WriteFile(fs::path(box) / odd, "data");
    WriteFile(fs::path(box) / "ok.txt", "fine");
    f.settings.PostBoxOut = box;

    EXPECT_EQ(f.moves.CountFiles(box, true), 2);
    EXPECT_EQ(f.Rows().count(odd), 0u);
    f.moves.MoveWithBackup(TransferDirection::Outgoing, box, target);
    EXPECT_EQ(FilesFixture::FilesIn(box), std::vector<std::string>{odd});
    EXPECT_EQ(ReadFile(fs::path(box) / odd), "data");
    EXPECT_EQ(FilesFixture::FilesIn(target), std::vector<std::string>{"ok.txt"});
    const auto& last = f.Lines().back();
    EXPECT_EQ(last.rfind("Ошибка: ", 0), 0u) << last;
    EXPECT_NE(last.find(odd), std::string::npos);
}

TEST(FileMoves, CreateFolderChainAndExclusiveOpen)
{
    FilesFixture f;
    const std::string deep = (f.root / "a/b/c/d").string();
    EXPECT_TRUE(FileMoves::CreateFolderChain(deep + "/"));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(FileMoves::CreateFolderChain(deep));
    EXPECT_FALSE(FileMoves::CreateFolderChain(""));
    WriteFile(f.root / "file", "");
    EXPECT_FALSE(FileMoves::CreateFolderChain((f.root / "file/sub").string()));

    WriteFile(f.root / "free", "x");
    EXPECT_TRUE(FileMoves::CanOpenExclusive((f.root / "free").string()));
    std::FILE* held = std::fopen((f.root / "free").c_str(), "ab");
    EXPECT_FALSE(FileMoves::CanOpenExclusive((f.root / "free").string()));
    std::fclose(held);
}

} // namespace ornel::test
