#include "platform/RegistryStore.h"

#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/RegFile.h"
#include "support/ErrorOf.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ornel::test
{

namespace
{

const std::string kOptions = "\\SOFTWARE\\RUX\\ORNEL_FTP\\Options";

} // namespace

TEST(RegistryStore, KeepsEveryKindAcrossProcessesAndReportsRegistrySizes)
{
    const TempFolder folder;
    {
        RegistryStore store(folder.Path());
        RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
        key.WriteString("IP", "10.0.0.1");
        key.WriteString("PostBoxIn", "c:\\DEPO\\Папка");
        key.WriteExpandString("Arc", "%HOME%\\arc");
        key.WriteInteger("Port", -21);
        key.WriteBool("Passive", true);
        key.WriteFloat("Start1", 1.0 + 9.5 / 24);
        key.WriteBinary("Blob", {1, 2, 3});
    }
    RegistryStore store(folder.Path());
    const RegistryKey key = store.OpenKey(Hive::LocalMachine, "SOFTWARE\\RUX\\ORNEL_FTP\\Options\\");
    EXPECT_EQ(key.ReadString("IP"), "10.0.0.1");
    EXPECT_EQ(key.ReadString("PostBoxIn"), "c:\\DEPO\\Папка");
    EXPECT_EQ(key.ReadString("Arc"), "%HOME%\\arc");
    EXPECT_EQ(key.ReadInteger("Port"), -21);
    EXPECT_TRUE(key.ReadBool("Passive"));
    EXPECT_DOUBLE_EQ(key.ReadFloat("Start1"), 1.0 + 9.5 / 24);
    EXPECT_EQ(key.ReadBinary("Blob"), (std::vector<std::uint8_t>{1, 2, 3}));

    EXPECT_EQ(key.GetDataInfo("IP")->Size, 9u);         // 8 bytes and the terminator
    EXPECT_EQ(key.GetDataInfo("PostBoxIn")->Size, 14u); // Cyrillic letters are one byte each
    EXPECT_EQ(key.GetDataInfo("Arc")->Kind, RegKind::ExpandSz);
    EXPECT_EQ(key.GetDataInfo("Port")->Size, 4u);
    EXPECT_EQ(key.GetDataInfo("Start1")->Size, 8u);
    EXPECT_FALSE(key.GetDataInfo("Missing").has_value());
    EXPECT_EQ(key.ValueNames(),
              (std::vector<std::string>{"IP", "PostBoxIn", "Arc", "Port", "Passive", "Start1", "Blob"}));
    // The key is opened in another hive's file only when asked for there.
    EXPECT_FALSE(store.OpenKey(Hive::CurrentUser, kOptions).ValueExists("IP"));
}

TEST(RegistryStore, MatchesValueNamesWithoutRegardToCase)
{
    const TempFolder folder;
    RegistryStore store(folder.Path());
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    key.WriteBool("WindowUnknown", true);
    EXPECT_TRUE(key.ValueExists("WindowUnkNown"));
    EXPECT_TRUE(key.ReadBool("WINDOWUNKNOWN"));
    key.WriteBool("windowunknown", false);
    EXPECT_FALSE(key.ReadBool("WindowUnkNown"));
    EXPECT_EQ(key.ValueNames(), std::vector<std::string>{"WindowUnknown"}); // first spelling kept
    EXPECT_TRUE(
        store.OpenKey(Hive::LocalMachine, "software\\rux\\ornel_ftp\\OPTIONS").ValueExists("windowUNKNOWN"));
}

TEST(RegistryStore, ChecksTheSizeBeforeTheTypeAsTheRegistryDoes)
{
    const TempFolder folder;
    RegistryStore store(folder.Path());
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    key.WriteString("Port", "21");
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadInteger("Port"); }), "Invalid data type for 'Port'");
    key.WriteString("Port", "210");
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadInteger("Port"); }), "Invalid data type for 'Port'");
    key.WriteString("Port", "2100");
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadInteger("Port"); }), "Failed to get data for 'Port'");
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadBool("Port"); }), "Failed to get data for 'Port'");
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadInteger("Absent"); }), "Failed to get data for 'Absent'");
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadString("Absent"); }), "Failed to get data for 'Absent'");

    key.WriteString("Start1", "1234567"); // eight bytes with the terminator
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadFloat("Start1"); }), "Invalid data type for 'Start1'");
    key.WriteString("Start1", "12345678");
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadFloat("Start1"); }), "Failed to get data for 'Start1'");
    key.WriteBinary("Start1", {1, 2, 3, 4, 5, 6, 7});
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadFloat("Start1"); }), "Invalid data type for 'Start1'");
    key.WriteInteger("Start1", 1);
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadFloat("Start1"); }), "Invalid data type for 'Start1'");

    key.WriteBinary("Flag", {1, 0, 0, 0});
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadBool("Flag"); }), "Invalid data type for 'Flag'");
    key.WriteInteger("Flag", 2);
    EXPECT_TRUE(key.ReadBool("Flag"));
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadString("Flag"); }), "Invalid data type for 'Flag'");
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadBinary("Flag"); }), "Invalid data type for 'Flag'");

    EXPECT_EQ(key.ReadIntegerIfPresent("Flag"), 2);
    EXPECT_FALSE(key.ReadIntegerIfPresent("Nothing").has_value());
    EXPECT_EQ(ErrorOf([&] { (void)key.ReadStringIfPresent("Flag"); }), "Invalid data type for 'Flag'");
}

TEST(RegistryStore, OpeningAKeyCreatesItOnDisk)
{
    const TempFolder folder;
    RegistryStore store(folder.Path() / "new" / "folder");
    (void)store.OpenKey(Hive::LocalMachine, kOptions);
    const std::string text = ReadFile(store.HiveFile(Hive::LocalMachine));
    EXPECT_EQ(text, "\xEF\xBB\xBFREGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\n");
    struct stat st
    {
    };
    ASSERT_EQ(stat(store.HiveFile(Hive::LocalMachine).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // it will hold the FTP password
    ASSERT_EQ(stat((folder.Path() / "new" / "folder").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A file someone shared on purpose keeps its permissions when it is replaced.
    ASSERT_EQ(chmod(store.HiveFile(Hive::LocalMachine).c_str(), 0640), 0);
    store.OpenKey(Hive::LocalMachine, kOptions).WriteInteger("Port", 21);
    ASSERT_EQ(stat(store.HiveFile(Hive::LocalMachine).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(RegistryStore, MachineAndUserHivesLiveInTheirOwnFolders)
{
    const TempFolder folder;
    const auto machine = folder / "machine";
    const auto user = folder / "home" / ".config" / "ornel_ftp";
    std::filesystem::create_directories(machine);
    // The machine-wide folder of an installed agent is shared by a group through the
    // set-group-ID bit: a new settings file there is the group's as well as the owner's.
    ASSERT_EQ(chmod(machine.c_str(), 02770), 0);
    {
        RegistryStore store(machine, user);
        EXPECT_EQ(store.Folder(), machine);
        store.OpenKey(Hive::LocalMachine, kOptions).WriteString("IP", "10.0.0.1");
        EXPECT_FALSE(std::filesystem::exists(user)) << "a machine-wide write touched the user's folder";
        store.OpenKey(Hive::CurrentUser, "SOFTWARE\\RUX\\ORNEL_FTP\\FUStatus").WriteInteger("Left", 5);
    }
    EXPECT_EQ(FolderNames(machine), (std::vector<std::string>{"hklm.lock", "hklm.reg"}));
    EXPECT_EQ(FolderNames(user), (std::vector<std::string>{"hkcu.lock", "hkcu.reg"}));
    struct stat st
    {
    };
    ASSERT_EQ(stat((machine / "hklm.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    ASSERT_EQ(stat(user.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((user / "hkcu.reg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    RegistryStore again(machine, user);
    EXPECT_EQ(again.OpenKey(Hive::LocalMachine, kOptions).ReadString("IP"), "10.0.0.1");
    EXPECT_FALSE(again.OpenKey(Hive::CurrentUser, kOptions).ValueExists("IP"));
}

TEST(RegistryStore, SeesAndKeepsChangesMadeByAnotherWriter)
{
    const TempFolder folder;
    RegistryStore first(folder.Path());
    RegistryStore second(folder.Path());
    RegistryKey a = first.OpenKey(Hive::LocalMachine, kOptions);
    RegistryKey b = second.OpenKey(Hive::LocalMachine, kOptions);
    a.WriteInteger("Port", 21);
    EXPECT_EQ(b.ReadInteger("Port"), 21);
    b.WriteString("IP", "ftp.example");
    a.WriteInteger("Port", 2121); // must not drop the value the other writer added
    EXPECT_EQ(a.ReadString("IP"), "ftp.example");
    EXPECT_EQ(b.ReadInteger("Port"), 2121);
}

TEST(RegistryStore, ADamagedFileIsAnErrorNeverAnEmptyStore)
{
    const TempFolder folder;
    RegistryStore store(folder.Path());
    const std::string damaged = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\n"
                                "\"IP\"=\"10.0.0.1\"\n\"Port\"=dword:zz\n";
    WriteFile(store.HiveFile(Hive::LocalMachine), damaged);
    const std::string opened = ErrorOf([&] { (void)store.OpenKey(Hive::LocalMachine, kOptions); });
    EXPECT_NE(opened.find(store.HiveFile(Hive::LocalMachine).string() + ", line 5"), std::string::npos)
        << opened;

    // A key opened before the damage reports it on reading, and a write leaves the file alone.
    WriteFile(store.HiveFile(Hive::LocalMachine), "REGEDIT4\n");
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    WriteFile(store.HiveFile(Hive::LocalMachine), damaged);
    EXPECT_NE(ErrorOf([&] { (void)key.ValueExists("IP"); }).find("line 5"), std::string::npos);
    EXPECT_EQ(ErrorOf([&] { key.WriteInteger("Port", 21); }), "Failed to set data for 'Port'");
    EXPECT_EQ(ReadFile(store.HiveFile(Hive::LocalMachine)), damaged);

    // Something that cannot be read at all is named as well.
    std::filesystem::remove(store.HiveFile(Hive::LocalMachine));
    std::filesystem::create_directory(store.HiveFile(Hive::LocalMachine));
    const std::string unreadable = ErrorOf([&] { (void)key.ValueExists("IP"); });
    EXPECT_NE(unreadable.find(store.HiveFile(Hive::LocalMachine).string()), std::string::npos) << unreadable;
    EXPECT_EQ(ErrorOf([&] { key.WriteInteger("Port", 21); }), "Failed to set data for 'Port'");
}

TEST(RegistryStore, TakesTheFilesOfEarlierVersionsAndRefusesAnyOther)
{
    const TempFolder folder;
    RegistryStore store(folder.Path());
    const auto hive = store.HiveFile(Hive::LocalMachine);
    // As the earlier versions wrote it: no mark, UTF-8.
    WriteFile(hive, "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\n"
                    "\"UnKnOwn\"=\"c:\\\\DEPO\\\\Неизвестные\"\n");
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(key.ReadString("UnKnOwn"), "c:\\DEPO\\Неизвестные");
    key.WriteInteger("Port", 21);
    const std::string saved = ReadFile(hive);
    EXPECT_EQ(saved.rfind("\xEF\xBB\xBFREGEDIT4\n", 0), 0u);
    EXPECT_EQ(key.ReadString("UnKnOwn"), "c:\\DEPO\\Неизвестные");

    // A Windows-1251 line added by hand, in place: the next read sees it and refuses the
    // file, and no write replaces it.
    std::ofstream(hive, std::ios::app) << "\"PostBoxIn\"=\"c:\\\\DEPO\\\\\xC2\xF5\xEE\xE4\"\n";
    const std::string damaged = ReadFile(hive);
    const std::string refusal = ErrorOf([&] { (void)key.ReadString("UnKnOwn"); });
    EXPECT_NE(refusal.find(hive.string() + ", line 6: not valid UTF-8"), std::string::npos) << refusal;
    EXPECT_EQ(ErrorOf([&] { key.WriteInteger("Port", 2121); }), "Failed to set data for 'Port'");
    EXPECT_EQ(ReadFile(hive), damaged);

    // Something that is no file at all is refused at once rather than waited on.
    std::filesystem::remove(hive);
    ASSERT_EQ(mkfifo(hive.c_str(), 0600), 0);
    EXPECT_NE(ErrorOf([&] { (void)key.ValueExists("Port"); }).find("not a regular file"), std::string::npos);
    EXPECT_EQ(ErrorOf([&] { key.WriteInteger("Port", 2121); }), "Failed to set data for 'Port'");
}

TEST(RegistryStore, RefusesToWriteWhatItCouldNotReadBack)
{
    const TempFolder folder;
    RegistryStore store(folder.Path());
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    key.WriteString("IP", "10.0.0.1");
    const std::string before = ReadFile(store.HiveFile(Hive::LocalMachine));
    EXPECT_EQ(ErrorOf([&] { key.WriteString("User", "\xCF\xE5\xF2\xF0"); }), "Failed to set data for 'User'");
    EXPECT_EQ(ErrorOf([&] { key.WriteInteger("Two\nLines", 1); }), "Failed to set data for 'Two\nLines'");
    EXPECT_EQ(ErrorOf([&] { key.WriteBinary("Blob", std::vector<std::uint8_t>(4 << 20, 1)); }),
              "Failed to set data for 'Blob'");
    EXPECT_EQ(ReadFile(store.HiveFile(Hive::LocalMachine)), before);
    EXPECT_EQ(key.ReadString("IP"), "10.0.0.1");
    EXPECT_FALSE(key.ValueExists("Blob"));
}

TEST(RegistryStore, WithoutAUsableFolderValuesAreAbsentAndWritesFail)
{
    const TempFolder folder;
    WriteFile(folder / "plain-file", "x");
    RegistryStore store(folder / "plain-file" / "registry");
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_FALSE(key.ValueExists("IP"));
    EXPECT_FALSE(key.ReadIntegerIfPresent("Port").has_value());
    EXPECT_TRUE(key.ValueNames().empty());
    EXPECT_EQ(ErrorOf([&] { key.WriteString("IP", "x"); }), "Failed to set data for 'IP'");
    RegistryBatch batch(store, Hive::LocalMachine);
    EXPECT_EQ(ErrorOf([&] { key.WriteBool("Passive", true); }), "Failed to set data for 'Passive'");
}

TEST(RegistryStore, ABatchIsSavedAllAtOnceOrNotAtAll)
{
    const TempFolder folder;
    RegistryStore store(folder.Path());
    RegistryStore other(folder.Path());
    RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    key.WriteInteger("Port", 21);
    {
        RegistryBatch batch(store, Hive::LocalMachine);
        key.WriteInteger("Port", 2121);
        key.WriteString("IP", "10.1.1.1");
        EXPECT_EQ(key.ReadInteger("Port"), 2121); // the batch reads its own writes
        // Nothing reaches the file before the commit.
        EXPECT_EQ(other.OpenKey(Hive::LocalMachine, kOptions).ReadInteger("Port"), 21);
        EXPECT_FALSE(other.OpenKey(Hive::LocalMachine, kOptions).ValueExists("IP"));
    }
    EXPECT_EQ(key.ReadInteger("Port"), 21); // dropped without Commit
    EXPECT_FALSE(key.ValueExists("IP"));
    {
        RegistryBatch batch(store, Hive::LocalMachine);
        key.WriteInteger("Port", 2121);
        key.WriteString("IP", "10.1.1.1");
        batch.Commit();
    }
    const RegistryKey seen = other.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(seen.ReadInteger("Port"), 2121);
    EXPECT_EQ(seen.ReadString("IP"), "10.1.1.1");
}

TEST(FileLock, ASecondHolderIsRefusedInsteadOfHanging)
{
    const TempFolder folder;
    const FileLock held(folder / "x.lock");
    try {
        const FileLock second(folder / "x.lock", std::chrono::milliseconds(0));
        FAIL() << "locked twice";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("x.lock"), std::string::npos) << e.what();
    }
}

TEST(FileLock, ALockFileMadeInASharedStoreServesTheWholeGroup)
{
    const TempFolder folder;
    const mode_t saved = umask(0007);
    {
        const FileLock made(folder / "hklm.lock");
    }
    umask(saved);
    struct stat st
    {
    };
    ASSERT_EQ(stat((folder / "hklm.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
    // A member who may only read the lock file still takes the lock.
    ASSERT_EQ(chmod((folder / "hklm.lock").c_str(), 0440), 0);
    const FileLock readOnly(folder / "hklm.lock");
}

namespace
{

int g_stageToStop = 0;
int g_notifyFd = -1;

// Runs in the child: tells the parent the save has reached the stage and waits to be killed.
void StopAtStage(AtomicWriteStage stage)
{
    if (static_cast<int>(stage) != g_stageToStop)
        return;
    const char byte = 1;
    (void)!write(g_notifyFd, &byte, 1);
    while (true)
        pause();
}

// A child process starts a large save and is killed with SIGKILL at the given stage.
void KillWriterAt(const std::filesystem::path& folder, AtomicWriteStage stage)
{
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        g_notifyFd = pipeFds[1];
        g_stageToStop = static_cast<int>(stage);
        SetAtomicWriteHookForTesting(StopAtStage);
        try {
            RegistryStore store(folder);
            store.OpenKey(Hive::LocalMachine, kOptions)
                .WriteBinary("Blob", std::vector<std::uint8_t>(1 << 20, 0xAB));
        } catch (...) {
        }
        _exit(3); // the hook never returns, so reaching this is a failure
    }
    close(pipeFds[1]);
    char byte = 0;
    const ssize_t got = read(pipeFds[0], &byte, 1);
    close(pipeFds[0]);
    EXPECT_EQ(got, 1) << "the writer ended before reaching the stage";
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
}

} // namespace

TEST(RegistryStore, AWriterKilledInTheMiddleOfASaveLeavesAWholeFile)
{
    const TempFolder folder;
    {
        RegistryStore store(folder.Path());
        store.OpenKey(Hive::LocalMachine, kOptions).WriteString("IP", "old");
    }
    KillWriterAt(folder.Path(), AtomicWriteStage::HalfWritten);
    {
        RegistryStore store(folder.Path());
        RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
        EXPECT_EQ(key.ReadString("IP"), "old");
        EXPECT_FALSE(key.ValueExists("Blob"));
        key.WriteString("IP", "after"); // the dead writer's lock went with it
    }
    KillWriterAt(folder.Path(), AtomicWriteStage::Renamed);
    RegistryStore store(folder.Path());
    const RegistryKey key = store.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(key.ReadString("IP"), "after");
    EXPECT_EQ(key.ReadBinary("Blob").size(), 1u << 20);
}

TEST(RegistryStore, FolderComesFromTheCommandLineThenTheEnvironmentThenHome)
{
    const char* oldDir = std::getenv("ORNEL_FTP_REGISTRY_DIR");
    const std::string savedDir = oldDir ? oldDir : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("ORNEL_FTP_REGISTRY_DIR", "/from/env", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(RegistryStore::ResolveFolder("/from/arg"), "/from/arg");
    EXPECT_EQ(RegistryStore::ResolveFolder(""), "/from/env");
    unsetenv("ORNEL_FTP_REGISTRY_DIR");
    EXPECT_EQ(RegistryStore::ResolveFolder(""), "/home/someone/.config/ornel_ftp");
    if (oldDir)
        setenv("ORNEL_FTP_REGISTRY_DIR", savedDir.c_str(), 1);
    setenv("HOME", savedHome.c_str(), 1);
}

} // namespace ornel::test
