#include "settings/RegExchange.h"

#include "platform/CodePage.h"
#include "platform/RegFile.h"
#include "platform/RegistryStore.h"
#include "settings/SettingsTable.h"
#include "support/ErrorOf.h"
#include "support/RegFileText.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ornel::test
{

namespace
{

const std::string kOptions(kConfigurationKey);
const std::string kCounters(kCounterKey);
const std::string kOptionsHeader = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\r\n";

// A store holding one value of each kind the program keeps, with texts that test the format.
void FillEveryKind(RegistryStore& store)
{
    RegistryKey options = store.OpenKey(Hive::LocalMachine, kOptions);
    options.WriteString("PostBoxOut", "c:\\DEPO\\\"Исходящие\"\\");
    options.WriteString("User", "участник 😀 №1");
    options.WriteString("Password", "line one\r\nline two");
    options.WriteString("ProxyUser", "");
    options.WriteExpandString("TempSend", "%TEMP%\\отправка");
    options.WriteInteger("Port", 2121);
    options.WriteInteger("ProxyType", -1);
    options.WriteBool("Passive", true);
    options.WriteFloat("Start1", 1.0 + 8.0 / 24);
    options.WriteString("PIN", "f9NLMtP8TSc=");
    RegistryKey counters = store.OpenKey(Hive::LocalMachine, kCounters);
    counters.WriteInteger("FileSendCount", 7);
    counters.WriteFloat("FileSendSize", 2.09765625);
}

} // namespace

TEST(RegExchange, ExportAndImportGiveBackEveryKindExactly)
{
    const TempFolder folder;
    RegistryStore source(folder / "a");
    FillEveryKind(source);
    const auto file = folder / "settings.reg";
    ExportRegistry(source, file);
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP]\r\n", 0),
              0u)
        << text;
    EXPECT_NE(text.find("\"Port\"=dword:00000849\r\n"), std::string::npos);

    RegistryStore target(folder / "b");
    const ImportReport report = ImportRegistry(target, file);
    EXPECT_EQ(report.Imported, 12);
    EXPECT_TRUE(report.Skipped.empty());
    EXPECT_TRUE(report.Notices.empty());
    const RegistryKey options = target.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(options.ReadString("PostBoxOut"), "c:\\DEPO\\\"Исходящие\"\\");
    EXPECT_EQ(options.ReadString("User"), "участник 😀 №1");
    EXPECT_EQ(options.ReadString("Password"), "line one\r\nline two");
    EXPECT_EQ(options.GetDataInfo("TempSend")->Kind, RegKind::ExpandSz);
    EXPECT_EQ(options.ReadInteger("ProxyType"), -1);
    EXPECT_DOUBLE_EQ(options.ReadFloat("Start1"), 1.0 + 8.0 / 24);
    EXPECT_DOUBLE_EQ(target.OpenKey(Hive::LocalMachine, kCounters).ReadFloat("FileSendSize"), 2.09765625);

    // Exported again, the imported store gives the same file byte for byte.
    ExportRegistry(target, folder / "again.reg");
    EXPECT_EQ(ReadFile(folder / "again.reg"), text);
}

TEST(RegExchange, ImportsARegedit4FileFromWindowsInWindows1251)
{
    const TempFolder folder;
    const std::string expand = Utf8ToCp1251("%USERPROFILE%\\Архив принятых") + std::string(1, '\0');
    const std::string utf8 = "REGEDIT4\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\RUX\\ORNEL_FTP]\r\n"
                             "\"FileReciveCount\"=dword:0000000c\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\RUX\\ORNEL_FTP\\Options]\r\n"
                             "\"PostBoxIn\"=\"c:\\\\DEPO\\\\Входящие\"\r\n"
                             "\"WindowUnkNown\"=dword:00000001\r\n"
                             "\"crypttimeout\"=dword:0000000f\r\n"
                             "\"Stop5\"=hex:00,00,00,00,00,00,fb,3f\r\n"
                             "\"SomethingElse\"=\"x\"\r\n"
                             "\"ArcSend\"=hex(2):";
    WriteFile(folder / "win.reg", Utf8ToCp1251(utf8) + HexList(expand) + "\r\n\r\n");

    RegistryStore store(folder / "store");
    const ImportReport report = ImportRegistry(store, folder / "win.reg");
    EXPECT_EQ(report.Imported, 6);
    EXPECT_EQ(report.Skipped, std::vector<std::string>{"SomethingElse"});
    const RegistryKey options = store.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(options.ReadString("PostBoxIn"), "c:\\DEPO\\Входящие");
    EXPECT_EQ(options.ValueNames()[1], "WindowUnknown"); // stored under the program's spelling
    EXPECT_DOUBLE_EQ(options.ReadFloat("Stop5"), 1.6875);
    EXPECT_EQ(options.ReadInteger("CryptTimeout"), 15); // known although no dialog field shows it
    EXPECT_EQ(options.ReadString("ArcSend"), "%USERPROFILE%\\Архив принятых");
    EXPECT_FALSE(options.ValueExists("SomethingElse"));
    EXPECT_EQ(store.OpenKey(Hive::LocalMachine, kCounters).ReadInteger("FileReciveCount"), 12);
}

TEST(RegExchange, ImportsAVersion5FileInUtf16WithOrWithoutItsMark)
{
    const TempFolder folder;
    const std::string expand = Utf16Le("D:\\Обмен\\temp") + std::string(2, '\0');
    const std::string utf16 = Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n" + kOptionsHeader +
                                      "\"User\"=\"Участник\"\r\n"
                                      "\"Interval\"=dword:0000000f\r\n"
                                      "\"TempReciv\"=hex(2):" +
                                      HexList(expand) + "\r\n\r\n");
    for (const std::string& bytes : {"\xFF\xFE" + utf16, utf16}) {
        RegistryStore store(folder / std::to_string(bytes.size()));
        WriteFile(folder / "win5.reg", bytes);
        EXPECT_EQ(ImportRegistry(store, folder / "win5.reg").Imported, 3);
        const RegistryKey options = store.OpenKey(Hive::LocalMachine, kOptions);
        EXPECT_EQ(options.ReadString("User"), "Участник");
        EXPECT_EQ(options.ReadInteger("Interval"), 15);
        EXPECT_EQ(options.ReadString("TempReciv"), "D:\\Обмен\\temp");
    }
}

TEST(RegExchange, ARefusedFileNamesItsLineAndLeavesTheStoreAsItWas)
{
    const TempFolder folder;
    RegistryStore store(folder / "store");
    FillEveryKind(store);
    const std::string before = ReadFile(store.HiveFile(Hive::LocalMachine));

    const std::string head = "REGEDIT4\r\n\r\n" + kOptionsHeader + "\"IP\"=\"10.0.0.1\"\r\n";
    struct Case
    {
        const char* Name;
        std::string Bytes;
        std::string Expected; // how the message goes on after "<file>, line "
    };
    const Case cases[] = {
        {"kind.reg", head + "\"Port\"=\"21\"\r\n", "5: Invalid data type for 'Port'"},
        {"time.reg", head + "\"Start1\"=hex:00,00,00,00,00,55,f6\r\n",
         "5: Invalid data type for 'Start1': eight bytes expected, 7 given"},
        {"dword.reg", head + "\"Port\"=dword:0000", "5: dword: needs eight hexadecimal digits"},
        {"text.reg", head + "\"PostBoxOut\"=hex(2):63,3a,5c,44,45", "5: the text does not end"},
        {"list.reg", head + "\"Start1\"=hex:00,00,00,00,\\\r\n  00,55,", "6: the hex list ends with a comma"},
        {"quote.reg", head + "\"User\"=\"uch", "5: unterminated text"},
        {"mixed.reg",
         head + Utf8ToCp1251("\"PostBoxIn\"=\"c:\\\\Входящие\"\r\n") +
             "\"UnKnOwn\"=\"c:\\\\Неизвестные\"\r\n",
         "6: this line reads one way in Windows-1251 and another in UTF-8"},
        {"nul.reg", head + "\"User\"=\"a" + std::string(1, '\0') + "\"\r\n", "5: a NUL byte"},
    };
    for (const Case& c : cases) {
        WriteFile(folder / c.Name, c.Bytes);
        const std::string refusal = ErrorOf([&] { (void)ImportRegistry(store, folder / c.Name); });
        EXPECT_EQ(refusal.rfind((folder / c.Name).string() + ", line " + c.Expected, 0), 0u) << refusal;
        EXPECT_EQ(ReadFile(store.HiveFile(Hive::LocalMachine)), before) << c.Name;
    }

    WriteFile(folder / "other.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n\"IP\"=\"x\"\n");
    EXPECT_NE(ErrorOf([&] { (void)ImportRegistry(store, folder / "other.reg"); }).find("other.reg"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] { (void)ImportRegistry(store, folder / "missing.reg"); }).find("missing.reg"),
              std::string::npos);
    EXPECT_EQ(ReadFile(store.HiveFile(Hive::LocalMachine)), before);
}

TEST(RegExchange, RefusesWhatIsNotARegularFileOrAboveTheLimitAtOnce)
{
    const TempFolder folder;
    RegistryStore store(folder / "store");
    FillEveryKind(store);
    const std::string before = ReadFile(store.HiveFile(Hive::LocalMachine));

    // 50 MB of lines that would all parse: only the size stops it.
    std::string big = "REGEDIT4\r\n\r\n" + kOptionsHeader;
    const std::string line = "\"Unknown\"=\"" + std::string(100, 'x') + "\"\r\n";
    while (big.size() < 50'000'000)
        big += line;
    WriteFile(folder / "big.reg", big);
    const std::string tooLarge = ErrorOf([&] { (void)ImportRegistry(store, folder / "big.reg"); });
    EXPECT_NE(tooLarge.find((folder / "big.reg").string() + ": the file is larger than 8 MiB"),
              std::string::npos)
        << tooLarge;

    ASSERT_EQ(mkfifo((folder / "fifo.reg").c_str(), 0600), 0);
    EXPECT_NE(ErrorOf([&] { (void)ImportRegistry(store, folder / "fifo.reg"); }).find("not a regular file"),
              std::string::npos);
    EXPECT_NE(ErrorOf([&] {
                  (void)ImportRegistry(store, "/dev/zero");
              }).find("/dev/zero: it is not a regular file"),
              std::string::npos);
    EXPECT_EQ(ReadFile(store.HiveFile(Hive::LocalMachine)), before);
}

TEST(RegExchange, DuplicatesAreReportedWithTheLineThatWon)
{
    const TempFolder folder;
    WriteFile(folder / "dup.reg",
              "REGEDIT4\r\n\r\n" + kOptionsHeader +
                  "\"Port\"=dword:00000015\r\n"
                  "\"IP\"=\"10.0.0.1\"\r\n"
                  "\"PORT\"=dword:00000016\r\n\r\n"
                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\RUX\\ORNEL_FTP\\Options]\r\n"
                  "\"IP\"=\"10.9.9.9\"\r\n"
                  "\"User\"=\"wow\"\r\n");
    RegistryStore store(folder / "store");
    const ImportReport report = ImportRegistry(store, folder / "dup.reg");
    const std::string file = (folder / "dup.reg").string();
    EXPECT_EQ(
        report.Notices,
        (std::vector<std::string>{
            file +
                ", line 6: 'PORT' of [HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options] appears again "
                "(first at line 4); the value at line 6 is taken",
            file + ", line 8: [HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\RUX\\ORNEL_FTP\\Options] is "
                   "skipped: [HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options] at line 3 is imported "
                   "instead"}));
    const RegistryKey options = store.OpenKey(Hive::LocalMachine, kOptions);
    EXPECT_EQ(options.ReadInteger("Port"), 22);
    EXPECT_EQ(options.ReadString("IP"), "10.0.0.1");
    EXPECT_FALSE(options.ValueExists("User"));
}

} // namespace ornel::test
