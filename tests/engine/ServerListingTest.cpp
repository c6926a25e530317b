// Server listings as the halves read them: masks matched here for servers that refuse them,
// folders and refused files among the names, padded names; the last three against a scripted
// server, so that every command on the wire is checked.
#include "engine/ServerListing.h"

#include "engine/CycleFixture.h"
#include "platform/FileSystem.h"
#include "support/ScriptedFtpServer.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace ornel::test
{
namespace
{

namespace fs = std::filesystem;

TEST(ServerListing, MasksMatchAsUnixServersMatchThem)
{
    struct Case
    {
        const char* mask;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        // "*.*" needs a dot, and a leading dot only matches a mask that starts with one.
        {"*.*", "a.txt", true},
        {"*.*", "a.", true},
        {"*.*", "dir.x", true},
        {"*.*", "Отчёт за день.txt", true},
        {"*.*", "noext", false},
        {"*.*", ".hidden.txt", false},
        {"*.*", ".", false},
        {"*.*", "..", false},
        {"*.*", ".in.a.txt.", false},
        // The leftover of one upload, never another's.
        {".in.a.txt.", ".in.a.txt.", true},
        {".in.a.txt.", ".in.a.txt", false},
        {".in.a.txt.", ".in.a.txt..", false},
        {".in.a.txt.", ".in.aXtxt.", false},
        // "?" takes one character, a Cyrillic one too; sets, negated sets and ranges.
        {"?.txt", "ж.txt", true},
        {"?.txt", "жж.txt", false},
        {"[ab]*.txt", "b1.txt", true},
        {"[ab]*.txt", "c1.txt", false},
        {"[!a]*", "b", true},
        {"[^a]*", "a", false},
        {"[a-c].txt", "b.txt", true},
        {"[a-c].txt", "d.txt", false},
        {"[]]", "]", true},
        {"[a", "[a", true},
        // A "*" gives characters back when the rest does not fit otherwise.
        {"*a*b.txt", "xaxab.txt", true},
        {"*.*.*", "a.b", false},
        {"*.TXT", "a.txt", false},
        {"*", "", true},
        {"", "a", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ServerListing::MatchesMask(c.name, c.mask), c.matches) << c.mask << " ~ " << c.name;
    }
}

TEST(ServerListing, DetailedLinesOfSeveralServersGiveTheirNamesAndFolders)
{
    const std::vector<std::string> lines = {
        "drwxr-xr-x    2 1000     1000         4096 Dec 09 12:45 vs.dir",
        "drwxr-xr-x   2 ornel    nogroup      4096 Dec  9 12:45 pro.dir",
        "drwxr-xr-x    2 65534      nogroup          4096 Dec  9 12:45 pure.dir",
        "drwxr-xr-x 2 owner 4096 Jan  1  2024 no group",
        "drwxr-xr-x 2 may jun 4096 MAY 31 23:59  leading and trailing  ",
        "-rw-r--r--   1 root     root            2 Dec 09 12:45 a file.txt",
        "lrwxrwxrwx   1 root     root            7 Dec 09 12:45 link.txt -> a.txt",
        "total 12",
        "dir.x:",
        "",
        "drwxr-xr-x 2 u g 4096 Dec 9 12:45",
    };
    EXPECT_EQ(ServerListing::EntryName(lines[5]), "a file.txt");
    EXPECT_EQ(ServerListing::EntryName(lines[6]), "link.txt -> a.txt");
    for (std::size_t i = 7; i < lines.size(); ++i) {
        EXPECT_EQ(ServerListing::EntryName(lines[i]), "") << lines[i];
    }
    EXPECT_EQ(
        ServerListing::FolderNames(lines),
        (std::set<std::string>{"vs.dir", "pro.dir", "pure.dir", "no group", " leading and trailing  "}));
}

// Login and the climb into `dir`.
ScriptedFtpServer& LoginInto(ScriptedFtpServer& server, const std::string& dir)
{
    return server.StandardLogin().On("CWD .", "250 OK").On("CWD " + dir, "250 OK");
}

// One listing command under TYPE A with its data, or with the reply `refusal` instead.
ScriptedFtpServer& Listing(ScriptedFtpServer& server, const std::string& command, const std::string& data,
                           const std::string& refusal = {})
{
    server.On("TYPE A", "200 OK").Expect("PASV").EnterPassive();
    if (!refusal.empty()) {
        server.On(command, refusal);
    } else {
        server.On(command, "150 Here it comes").SendData(data).Reply("226 Done");
    }
    return server.On("TYPE I", "200 OK");
}

// A download; its DELE comes when its batch ends.
ScriptedFtpServer& Fetch(ScriptedFtpServer& server, const std::string& name, const std::string& content)
{
    return server.On("SIZE " + name, "213 " + std::to_string(content.size()))
        .Expect("PASV")
        .EnterPassive()
        .On("RETR " + name, "150 Sending")
        .SendData(content)
        .Reply("226 Done");
}

ScriptedFtpServer& Upload(ScriptedFtpServer& server, const std::string& name, std::size_t size)
{
    return server.Expect("PASV")
        .EnterPassive()
        .On("STOR " + name, "150 Go ahead")
        .ReceiveData()
        .Reply("226 Stored")
        .On("SIZE " + name, "213 " + std::to_string(size));
}

void ExpectScriptFollowed(ScriptedFtpServer& server, const CycleFixture& f)
{
    ASSERT_TRUE(server.WaitFinished()) << f.LogText();
    EXPECT_TRUE(server.Mismatches().empty()) << ::testing::PrintToString(server.Mismatches()) << "\n"
                                             << ::testing::PrintToString(server.Received()) << "\n"
                                             << f.LogText();
}

TEST(ServerListingScripted, PermanentlyRefusedMasksAreListedWholeAndMatchedByTheAgent)
{
    CycleFixture f;
    WriteFile(f.tempSend / "a.enc", "aaaa");
    WriteFile(f.tempSend / "b.enc", "bbbb");
    ScriptedFtpServer server;
    LoginInto(server, "Out");
    Listing(server, "LIST *.*", "", "550 Can't check for file existence");
    Listing(server, "LIST",
            "total 5\r\n-rw-r--r-- 1 u g 2 Dec 9 12:45 x.txt\r\n-rw-r--r-- 1 u g 2 Dec 9 12:45 noext\r\n"
            "drwxr-xr-x 2 u g 4096 Dec 9 12:45 sub.dir\r\n-rw-r--r-- 1 u g 2 Dec 9 12:45 .hidden.txt\r\n");
    Listing(server, "NLST *.*", "", "550 Can't check for file existence");
    Listing(server, "NLST", ".\r\n..\r\nx.txt\r\nnoext\r\nsub.dir\r\n.hidden.txt\r\n");
    Fetch(server, "x.txt", "xx").On("DELE x.txt", "250 Deleted").On("CDUP", "250 OK").On("CWD In", "250 OK");
    // A transient refusal is what some servers answer for a name that is not there: the wire
    // stays as it is.
    Upload(Listing(server, "NLST .in.a.enc.", "", "450 No files found"), "a.enc", 4);
    // This server lists nothing by name, as it showed with "*.*".
    Listing(server, "NLST .in.b.enc.", "", "550 Can't check for file existence");
    Listing(server, "NLST", ".\r\n..\r\n.in.a.enc.x\r\n.in.b.enc.\r\n.in.b.enc.x\r\nb.enc\r\n")
        .On("DELE .in.b.enc.", "250 Deleted");
    Upload(server, "b.enc", 4).On("CDUP", "250 OK").On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunReceiveSend();

    ExpectScriptFollowed(server, f);
    // Only what "*.*" matches counts and is listed; the folder is passed over.
    EXPECT_TRUE(f.Logged("Всего файлов:1")) << f.LogText();
    EXPECT_TRUE(f.Logged("x.txt\r\nsub.dir"));
    EXPECT_TRUE(f.Logged("Пропускаем папку на FTP sub.dir"));
    EXPECT_EQ(ReadFile(f.postBoxIn / "x.txt"), "xx");
    EXPECT_EQ(server.Uploads(), (std::vector<std::string>{"aaaa", "bbbb"}));
    EXPECT_TRUE(f.Logged("Найден временный файл .in.b.enc. удален")) << f.LogText();
    EXPECT_FALSE(f.Logged("Найден временный файл .in.a.enc."));
    EXPECT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
}

TEST(ServerListingScripted, AFolderIsSkippedAndARefusedFileStaysWhileTheNextOnesCome)
{
    CycleFixture f;
    ScriptedFtpServer server;
    LoginInto(server, "Out");
    Listing(server, "LIST *.*",
            "drwxr-xr-x 2 u g 4096 Dec 9 12:45 dir.x\r\n-rw-r--r-- 1 u g 3 Dec 9 12:45 a.txt\r\n"
            "-rw-r--r-- 1 u g 2 Dec 9 12:45 b.txt\r\n-rw-r--r-- 1 u g 2 Dec 9 12:45 c.txt\r\n"
            "-rw-r--r-- 1 u g 2 Dec 9 12:45 d.txt\r\n");
    Listing(server, "NLST *.*", "dir.x\r\na.txt\r\nb.txt\r\nc.txt\r\nd.txt\r\n")
        .On("SIZE a.txt", "213 3")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR a.txt", "550 a.txt: Permission denied");
    Fetch(server, "b.txt", "bb")
        .On("SIZE c.txt", "213 2")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR c.txt", "450 c.txt: busy, try later")
        // The batch that ends with the passing failure is finished: b.txt is deleted.
        .On("DELE b.txt", "250 Deleted")
        .On("CDUP", "250 OK")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunReceiveSend();

    ExpectScriptFollowed(server, f);
    const auto received = server.Received();
    for (const std::string& line : received) {
        EXPECT_EQ(line.find("dir.x"), std::string::npos) << line;
        EXPECT_EQ(line.find("d.txt"), std::string::npos) << "the half ends at the passing failure: " << line;
    }
    EXPECT_EQ(std::count(received.begin(), received.end(), "DELE a.txt"), 0);
    EXPECT_TRUE(f.Logged("Пропускаем папку на FTP dir.x"));
    EXPECT_TRUE(f.Logged("Ошибка: a.txt: Permission denied\r\n")) << f.LogText();
    EXPECT_TRUE(f.Logged("Файл a.txt оставлен на FTP"));
    EXPECT_LT(f.IndexOf("Файл a.txt оставлен на FTP"), f.IndexOf("Приняли файл b.txt"));
    EXPECT_TRUE(f.Logged("Ошибка: c.txt: busy, try later\r\n"));
    EXPECT_FALSE(f.Logged("Файл c.txt оставлен на FTP"));
    // b.txt waits in TempReciv for the next cycle's decryption; nothing of the others is there.
    EXPECT_EQ(CycleFixture::FilesIn(f.tempReciv), (std::vector<std::string>{"b.txt"}));
    EXPECT_FALSE(f.Logged("Передача")) << "a passing failure still ends the cycle";
    EXPECT_TRUE(f.cycle.LastCycleFailed());
}

TEST(ServerListingScripted, PaddedNamesRefusedAsListedAreUsedTrimmed)
{
    CycleFixture f;
    ScriptedFtpServer server;
    LoginInto(server, "Out");
    Listing(server, "LIST *.*",
            "-rw-r--r-- 1 u g 5 Dec 9 12:45 a.txt\r\n-rw-r--r-- 1 u g 2 Dec 9 12:45 c.txt\r\n"
            "-rw-r--r-- 1 u g 1 Dec 9 12:45 d.txt \r\n");
    Listing(server, "NLST *.*", "a.txt   \r\nc.txt  \r\nd.txt \r\n")
        // SIZE refuses the padded name and knows the trimmed one.
        .On("SIZE a.txt   ", "550 Could not get file size.")
        .On("SIZE a.txt", "213 5")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR a.txt", "150 Sending")
        .SendData("aaaaa")
        .Reply("226 Done")
        // No SIZE at all: RETR tells.
        .On("SIZE c.txt  ", "502 Command not implemented.")
        .On("SIZE c.txt", "502 Command not implemented.")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR c.txt  ", "550 No such file or directory.")
        .Expect("PASV")
        .EnterPassive()
        .On("RETR c.txt", "150 Sending")
        .SendData("cc")
        .Reply("226 Done");
    // A name that really ends in a blank keeps it. The batch ends with the listing: each file
    // is deleted on the server under the name its download took.
    Fetch(server, "d.txt ", "d")
        .On("DELE a.txt", "250 Deleted")
        .On("DELE c.txt", "250 Deleted")
        .On("DELE d.txt ", "250 Deleted")
        .On("CDUP", "250 OK")
        .On("QUIT", "221 Bye");
    f.UseServer(server.Port());
    server.Start();

    f.cycle.RunReceiveSend();

    ExpectScriptFollowed(server, f);
    // Windows drops trailing spaces from file names: there the file is "d.txt".
    const std::string padded = kPathDelim == '\\' ? "d.txt" : "d.txt ";
    EXPECT_EQ(CycleFixture::FilesIn(f.postBoxIn), (std::vector<std::string>{"a.txt", "c.txt", padded}));
    EXPECT_EQ(ReadFile(f.postBoxIn / "a.txt"), "aaaaa");
    EXPECT_TRUE(CycleFixture::FilesIn(f.tempReciv).empty());
    EXPECT_TRUE(f.Logged("Принимаем файл a.txt 5 байт")) << f.LogText();
    EXPECT_TRUE(f.Logged("Приняли файл c.txt"));
    EXPECT_FALSE(f.cycle.LastCycleFailed()) << f.LogText();
}

} // namespace
} // namespace ornel::test
