#include "platform/RegFile.h"

#include "platform/CodePage.h"
#include "support/RegFileText.h"

#include <gtest/gtest.h>
#include <string>

namespace ornel::test
{

namespace
{

const RegValue& ValueOf(const RegDocument& doc, const std::string& key, const std::string& name)
{
    const RegKeyBlock* block = FindRegKey(doc, key);
    if (!block)
        throw std::runtime_error("no key " + key);
    const RegValue* value = FindRegValue(*block, name);
    if (!value)
        throw std::runtime_error("no value " + name);
    return *value;
}

// The message of the RegFileError that parsing throws, or "accepted".
std::string RefusalOf(const std::string& bytes, RegFileRole role, int expectedLine = 0)
{
    try {
        (void)ParseRegFile(bytes, "/some/file.reg", role);
    } catch (const RegFileError& e) {
        const std::string message = e.what();
        if (expectedLine != 0 &&
            message.rfind("/some/file.reg, line " + std::to_string(expectedLine) + ": ", 0) != 0)
            return "wrong line: " + message;
        return message;
    }
    return "accepted";
}

const std::string kOptions = "HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options";

RegKeyBlock EveryKind()
{
    RegKeyBlock key{kOptions, {}};
    key.Values.push_back({"PostBoxOut", RegKind::Sz, "c:\\DEPO\\\"Почта\"", 0, {}});
    key.Values.push_back({"Multi", RegKind::Sz, "line one\r\nline two", 0, {}});
    key.Values.push_back({"Expand", RegKind::ExpandSz, "%TEMP%\\Архив 😀", 0, {}});
    key.Values.push_back({"Interval", RegKind::Dword, "", 30, {}});
    key.Values.push_back({"Big", RegKind::Dword, "", 0xFFFFFFFFu, {}});
    std::vector<std::uint8_t> many;
    for (int i = 0; i < 70; ++i)
        many.push_back(static_cast<std::uint8_t>(i * 7));
    key.Values.push_back({"Many", RegKind::Binary, "", 0, many});
    key.Values.push_back({"Empty", RegKind::Binary, "", 0, {}});
    key.Values.push_back({"", RegKind::Sz, "default", 0, {}});
    return key;
}

void ExpectSameValue(const RegValue& a, const RegValue& b)
{
    EXPECT_EQ(a.Name, b.Name);
    EXPECT_EQ(a.Kind, b.Kind) << a.Name;
    EXPECT_EQ(a.Text, b.Text) << a.Name;
    EXPECT_EQ(a.Dword, b.Dword) << a.Name;
    EXPECT_EQ(a.Bytes, b.Bytes) << a.Name;
}

// A regedit export of the same values in both of its forms: REGEDIT4 in Windows-1251 and
// version 5.00 in UTF-16LE, its hex(2) text in the file's own encoding.
std::string WindowsExport(bool utf16)
{
    const std::string arc = "%USERPROFILE%\\Архив входящих";
    const std::string payload = utf16 ? Utf16Le(arc) + std::string(2, '\0') : Utf8ToCp1251(arc) + '\0';
    std::string bin;
    for (int i = 0; i < 40; ++i)
        bin += static_cast<char>(i * 5);
    const std::string text = std::string(utf16 ? "Windows Registry Editor Version 5.00" : "REGEDIT4") +
                             "\r\n\r\n[" + kOptions +
                             "]\r\n"
                             "\"PostBoxOut\"=\"c:\\\\DEPO\\\\Почтовый ящик \\\"1\\\"\"\r\n"
                             "\"Port\"=dword:00000015\r\n"
                             "\"Start1\"=hex:00,00,00,00,00,55,f6,3f\r\n"
                             "\"Arc\"=hex(2):" +
                             HexList(payload) + "\r\n\"Blob\"=hex:" + HexList(bin) + "\r\n\r\n";
    return utf16 ? "\xFF\xFE" + Utf16Le(text) : Utf8ToCp1251(text);
}

} // namespace

TEST(RegFile, WritesAndReadsBackEveryKind)
{
    RegDocument doc;
    const RegKeyBlock key = EveryKind();
    doc.Keys.push_back(key);

    const std::string text = SerializeRegFile(doc, LineEnd::CrLf);
    EXPECT_EQ(
        text.rfind("\xEF\xBB\xBFREGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\r\n",
                   0),
        0u);
    EXPECT_NE(text.find("\"PostBoxOut\"=\"c:\\\\DEPO\\\\\\\"Почта\\\"\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Interval\"=dword:0000001e\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Empty\"=hex:\r\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\""), std::string::npos);
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 80u) << "long line at " << start;

    // What the store writes it reads back, and so does the import.
    for (const RegFileRole role : {RegFileRole::StoreHive, RegFileRole::Import}) {
        const RegDocument back = ParseRegFile(text, "test", role);
        ASSERT_EQ(back.Keys.size(), 1u);
        ASSERT_EQ(back.Keys[0].Values.size(), key.Values.size());
        for (std::size_t i = 0; i < key.Values.size(); ++i)
            ExpectSameValue(key.Values[i], back.Keys[0].Values[i]);
        EXPECT_TRUE(back.Notices.empty());
    }
}

TEST(RegFile, ReadsWindowsExportsByTheirHeader)
{
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16 ? "version 5.00" : "REGEDIT4");
        std::string file = WindowsExport(utf16);
        const RegDocument doc = ParseRegFile(file, "win.reg", RegFileRole::Import);
        EXPECT_EQ(ValueOf(doc, kOptions, "PostBoxOut").Text, "c:\\DEPO\\Почтовый ящик \"1\"");
        EXPECT_EQ(ValueOf(doc, kOptions, "Port").Dword, 21u);
        EXPECT_EQ(ValueOf(doc, kOptions, "Start1").Bytes,
                  (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0x55, 0xf6, 0x3f}));
        EXPECT_EQ(ValueOf(doc, kOptions, "Arc").Kind, RegKind::ExpandSz);
        EXPECT_EQ(ValueOf(doc, kOptions, "Arc").Text, "%USERPROFILE%\\Архив входящих");
        EXPECT_EQ(ValueOf(doc, kOptions, "Blob").Bytes.size(), 40u);
        EXPECT_EQ(ValueOf(doc, kOptions, "Blob").Line, utf16 ? 11 : 9); // after the wrapped hex(2) text
        if (utf16) {
            // Without its byte order mark the file is still told by its header.
            file.erase(0, 2);
            EXPECT_EQ(ValueOf(ParseRegFile(file, "win.reg", RegFileRole::Import), kOptions, "Arc").Text,
                      "%USERPROFILE%\\Архив входящих");
        }
    }
    // A version 5.00 file in plain ASCII reads the same in any encoding; its texts stay UTF-16.
    const std::string ascii = "Windows Registry Editor Version 5.00\n[" + kOptions +
                              "]\n\"Out\"=hex(2):" + HexList(Utf16Le("Обмен") + std::string(2, '\0'), "\n") +
                              "\n\"Flag\"=hex(4):02,00,00,00\n";
    const RegDocument doc = ParseRegFile(ascii, "t", RegFileRole::Import);
    EXPECT_EQ(ValueOf(doc, kOptions, "Out").Text, "Обмен");
    EXPECT_EQ(ValueOf(doc, kOptions, "Flag").Kind, RegKind::Dword);
    EXPECT_EQ(ValueOf(doc, kOptions, "Flag").Dword, 2u);
}

TEST(RegFile, AFileThatBreaksItsEncodingRuleIsRefusedNeverReencoded)
{
    const std::string head = "REGEDIT4\r\n\r\n[" + kOptions + "]\r\n";
    const std::string head5 = "Windows Registry Editor Version 5.00\r\n\r\n[" + kOptions + "]\r\n";
    const std::string win1251Line = Utf8ToCp1251("\"PostBoxIn\"=\"c:\\\\DEPO\\\\Входящие\"\r\n");
    const std::string utf8Line = "\"PostBoxOut\"=\"c:\\\\DEPO\\\\Неизвестные\"\r\n";
    struct Case
    {
        const char* What;
        std::string Bytes;
        int Line;
        std::string Problem;
    };
    const Case cases[] = {
        // Windows-1251 bytes that happen to be well-formed UTF-8 ("Пё" is also "ϸ").
        {"ambiguous", head + Utf8ToCp1251("\"ArcSend\"=\"c:\\\\Пё\"\r\n"), 4, "cannot be told"},
        {"UTF-8 after Windows-1251", head + win1251Line + utf8Line, 5, "cannot be told"},
        {"Windows-1251 after UTF-8", head + utf8Line + win1251Line, 4, "cannot be told"},
        {"UTF-8 text in a hex list",
         head + "\"TempSend\"=hex(2):" + HexList("c:\\Обмен" + std::string(1, '\0')) + "\r\n", 4,
         "cannot be told"},
        {"NUL byte", head + "\"IP\"=\"10.0.0.1\"\r\n\"User\"=\"a" + std::string(1, '\0') + "b\"\r\n", 5,
         "NUL"},
        {"REGEDIT4 in UTF-16", "\xFF\xFE" + Utf16Le(head + "\"IP\"=\"x\"\r\n"), 1, "UTF-16"},
        {"version 5.00 in single bytes", head5 + Utf8ToCp1251("\"User\"=\"Участник\"\r\n"), 4,
         "version 5.00"},
        {"marked but not UTF-8", std::string(kOwnRegFileMark) + head + utf8Line + win1251Line, 5,
         "not valid UTF-8"},
        {"UTF-16 cut in a character", "\xFF\xFE" + Utf16Le(head5 + "\"IP\"=\"x\"\r").append(1, '\n'), 4,
         "cut short"},
        {"lone surrogate", "\xFF\xFE" + Utf16Le(head5) + std::string("\x3D\xD8\x0D\x00\x0A\x00", 6), 4,
         "surrogate"},
    };
    for (const Case& c : cases) {
        const std::string refusal = RefusalOf(c.Bytes, RegFileRole::Import, c.Line);
        EXPECT_NE(refusal.find(c.Problem), std::string::npos) << c.What << ": " << refusal;
    }
    // Behind our mark the same bytes are UTF-8 by declaration, not by guess.
    const RegDocument marked =
        ParseRegFile(std::string(kOwnRegFileMark) + head + utf8Line, "t", RegFileRole::Import);
    EXPECT_EQ(ValueOf(marked, kOptions, "PostBoxOut").Text, "c:\\DEPO\\Неизвестные");
}

TEST(RegFile, TheStoreRefusesFilesNotItsOwn)
{
    const std::string windows = Utf8ToCp1251("REGEDIT4\r\n\r\n[" + kOptions + "]\r\n\"IP\"=\"Пё\"\r\n");
    const std::string foreign[] = {windows, WindowsExport(true),
                                   std::string(kOwnRegFileMark) + "Windows Registry Editor Version 5.00\n"};
    for (const std::string& bytes : foreign) {
        const std::string refusal = RefusalOf(bytes, RegFileRole::StoreHive, 1);
        EXPECT_TRUE(refusal.find("not a settings file of this program") != std::string::npos ||
                    refusal.find("starts with \"REGEDIT4\"") != std::string::npos)
            << refusal;
    }
    EXPECT_NE(RefusalOf(windows, RegFileRole::StoreHive).find("--import-reg"), std::string::npos);
}

TEST(RegFile, ACutFileIsRefusedOrYieldsOnlyWholeValues)
{
    RegDocument own;
    own.Keys.push_back(EveryKind());
    const std::pair<const char*, std::string> files[] = {
        {"our export", SerializeRegFile(own, LineEnd::CrLf)},
        {"REGEDIT4", WindowsExport(false)},
        {"version 5.00", WindowsExport(true)},
    };
    for (const auto& [what, whole] : files) {
        const RegDocument full = ParseRegFile(whole, "whole.reg", RegFileRole::Import);
        const RegKeyBlock& original = full.Keys.at(0);
        int refused = 0;
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            RegDocument part;
            try {
                part = ParseRegFile(whole.substr(0, cut), "cut.reg", RegFileRole::Import);
            } catch (const RegFileError&) {
                ++refused;
                continue;
            }
            for (const RegKeyBlock& key : part.Keys) {
                for (const RegValue& value : key.Values) {
                    const RegValue* was = FindRegValue(original, value.Name);
                    ASSERT_NE(was, nullptr) << what << " cut at " << cut;
                    // Only a plain byte list cut just after a whole byte cannot be told from
                    // a shorter one; everything else must come whole.
                    if (value.Kind == RegKind::Binary && value.Bytes.size() < was->Bytes.size())
                        EXPECT_TRUE(std::equal(value.Bytes.begin(), value.Bytes.end(), was->Bytes.begin()));
                    else
                        ExpectSameValue(*was, value);
                }
            }
        }
        EXPECT_GT(refused, 0) << what;
    }
}

TEST(RegFile, MalformedFilesNameTheLine)
{
    struct Case
    {
        std::string Text;
        int Line;
        std::string Problem;
    };
    const std::string head = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n";
    const Case cases[] = {
        {"[HKEY_LOCAL_MACHINE\\A]\n", 1, "first line"},
        {"", 1, "first line"},
        {"REGEDIT4\n\"X\"=\"y\"\n", 2, "before the first key"},
        {head + "\"Port\"=dword:12345678" + "9\n", 4, "dword"},
        {head + "\"IP\"=\"x\"\n\"Port\"=dword:0000", 5, "eight hexadecimal digits"},
        {head + "\"Name=\"x\"\n", 4, "\"=\" expected"},
        {head + "\"A\"=\"ok\"\n\"B\"=\"open\n", 5, "unterminated"},
        {head + "\"Bin\"=hex:00,01,\\\n  02,zz\n", 5, "malformed byte"},
        {head + "\"Bin\"=hex:00,01,\\\n  02,1\n", 5, "malformed byte"},
        {head + "\"Bin\"=hex:00,01,\\", 4, "past the end"},
        {head + "\"Bin\"=hex:00,01,\n", 4, "ends with a comma"},
        {head + "\"Arc\"=hex(2):63,3a,5c,44,45", 4, "terminating zero"},
        {head + "\"Arc\"=hex(2):", 4, "terminating zero"},
        {"Windows Registry Editor Version 5.00\n[A]\n\"Arc\"=hex(2):63,00,3a,00,00\n", 3, "terminating zero"},
        {head + "\"Multi\"=hex(7):00,00\n", 4, "hex(7)"},
        {head + "[-HKEY_LOCAL_MACHINE\\A]\n", 4, "deleting keys"},
        {head + "\"A\"=-\n", 4, "deleting values"},
        {head + "garbage\n", 4, "unexpected text"},
    };
    for (const Case& c : cases) {
        const std::string refusal = RefusalOf(c.Text, RegFileRole::Import, c.Line);
        EXPECT_NE(refusal.find(c.Problem), std::string::npos) << c.Text << "\n" << refusal;
    }
}

TEST(RegFile, MergesKeysAndValuesWithoutRegardToCaseAndSaysWhichLineWon)
{
    const RegDocument doc =
        ParseRegFile(std::string(kOwnRegFileMark) +
                         "REGEDIT4\n"
                         "[HKEY_LOCAL_MACHINE\\Software\\Папка]\n\"WindowUnknown\"=dword:00000001\n"
                         "[hkey_local_machine\\SOFTWARE\\пАПКА]\n\"WINDOWUNKNOWN\"=dword:00000002\n"
                         "\"Other\"=\"x\"\n",
                     "t.reg", RegFileRole::Import);
    ASSERT_EQ(doc.Keys.size(), 1u);
    ASSERT_EQ(doc.Keys[0].Values.size(), 2u);
    EXPECT_EQ(ValueOf(doc, "HKEY_LOCAL_MACHINE\\SOFTWARE\\ПАПКА", "windowunknown").Dword, 2u);
    EXPECT_EQ(
        doc.Notices,
        (std::vector<std::string>{
            "t.reg, line 4: [hkey_local_machine\\SOFTWARE\\пАПКА] appears again (first at line 2); the two "
            "are merged",
            "t.reg, line 5: 'WINDOWUNKNOWN' of [HKEY_LOCAL_MACHINE\\Software\\Папка] appears again (first at "
            "line 3); the value at line 5 is taken"}));
    EXPECT_TRUE(RegNamesEqual("Ёлка Ђ", "ёЛКА ђ"));
    EXPECT_FALSE(RegNamesEqual("Port", "Ports"));
    EXPECT_FALSE(RegNamesEqual("ProxyPort", "ProxyPart"));

    // Many keys, each given twice in another case: every repeat finds its first.
    std::string many = std::string(kOwnRegFileMark) + "REGEDIT4\n";
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 3000; ++i)
            many += std::string(round == 0 ? "[HKEY_LOCAL_MACHINE\\Ключ" : "[hkey_local_machine\\кЛЮЧ") +
                    std::to_string(i) + "]\n\"V" + std::to_string(round) + "\"=dword:0000000" +
                    std::to_string(round) + "\n";
    }
    const RegDocument merged = ParseRegFile(many, "many.reg", RegFileRole::Import);
    ASSERT_EQ(merged.Keys.size(), 3000u);
    EXPECT_EQ(merged.Keys[2999].Values.size(), 2u);
    EXPECT_EQ(merged.Notices.size(), 3000u);
}

} // namespace ornel::test
