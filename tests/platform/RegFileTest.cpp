#include "platform/RegFile.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <string>

namespace ornel::test
{

namespace
{

std::string Utf16Le(const std::string& utf8)
{
    std::string out;
    const auto unit = [&](std::uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp = 0;
        std::size_t n = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1Fu;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0Fu;
            n = 3;
        } else {
            cp = c & 0x07u;
            n = 4;
        }
        for (std::size_t k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        i += n;
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

std::string HexList(const std::string& bytes)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += kHex[b >> 4];
        out += kHex[b & 0xF];
        if (i + 1 < bytes.size())
            out += (i % 16 == 15) ? ",\\\r\n  " : ",";
    }
    return out;
}

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

const std::string kOptions = "HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options";

} // namespace

TEST(RegFile, WritesAndReadsBackEveryKind)
{
    RegDocument doc;
    RegKeyBlock key{kOptions, {}};
    key.Values.push_back({"PostBoxOut", RegKind::Sz, "c:\\DEPO\\\"Почта\"", 0, {}});
    key.Values.push_back({"Multi", RegKind::Sz, "line one\r\nline two", 0, {}});
    key.Values.push_back({"Expand", RegKind::ExpandSz, "%TEMP%\\Архив", 0, {}});
    key.Values.push_back({"Interval", RegKind::Dword, "", 30, {}});
    key.Values.push_back({"Big", RegKind::Dword, "", 0xFFFFFFFFu, {}});
    std::vector<std::uint8_t> many;
    for (int i = 0; i < 70; ++i)
        many.push_back(static_cast<std::uint8_t>(i * 7));
    key.Values.push_back({"Many", RegKind::Binary, "", 0, many});
    key.Values.push_back({"Empty", RegKind::Binary, "", 0, {}});
    key.Values.push_back({"", RegKind::Sz, "default", 0, {}});
    doc.Keys.push_back(key);

    const std::string text = SerializeRegFile(doc, LineEnd::CrLf);
    EXPECT_EQ(text.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\RUX\\ORNEL_FTP\\Options]\r\n", 0),
              0u);
    EXPECT_NE(text.find("\"PostBoxOut\"=\"c:\\\\DEPO\\\\\\\"Почта\\\"\"\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Interval\"=dword:0000001e\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"Empty\"=hex:\r\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\""), std::string::npos);
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 80u) << "long line at " << start;

    const RegDocument back = ParseRegFile(text, "test");
    ASSERT_EQ(back.Keys.size(), 1u);
    ASSERT_EQ(back.Keys[0].Values.size(), key.Values.size());
    for (std::size_t i = 0; i < key.Values.size(); ++i) {
        const RegValue& a = key.Values[i];
        const RegValue& b = back.Keys[0].Values[i];
        EXPECT_EQ(a.Name, b.Name);
        EXPECT_EQ(a.Kind, b.Kind) << a.Name;
        EXPECT_EQ(a.Text, b.Text) << a.Name;
        EXPECT_EQ(a.Dword, b.Dword) << a.Name;
        EXPECT_EQ(a.Bytes, b.Bytes) << a.Name;
    }
}

TEST(RegFile, ReadsAWindowsRegedit4FileInWindows1251)
{
    const std::string utf8 = "REGEDIT4\r\n\r\n"
                             "[" +
                             kOptions +
                             "]\r\n"
                             "\"PostBoxOut\"=\"c:\\\\DEPO\\\\Почтовый ящик\"\r\n"
                             "\"Port\"=dword:00000015\r\n"
                             "\"Arc\"=hex(2):";
    const std::string payload =
        Utf8ToCp1251("%USERPROFILE%\\Архив входящих сообщений") + std::string(1, '\0');
    const std::string file = Utf8ToCp1251(utf8) + HexList(payload) + "\r\n\r\n";
    ASSERT_FALSE(IsValidUtf8(file));

    const RegDocument doc = ParseRegFile(file, "win.reg");
    EXPECT_EQ(ValueOf(doc, kOptions, "PostBoxOut").Text, "c:\\DEPO\\Почтовый ящик");
    EXPECT_EQ(ValueOf(doc, kOptions, "Port").Dword, 21u);
    const RegValue& arc = ValueOf(doc, kOptions, "Arc");
    EXPECT_EQ(arc.Kind, RegKind::ExpandSz);
    EXPECT_EQ(arc.Text, "%USERPROFILE%\\Архив входящих сообщений");
}

TEST(RegFile, ReadsAVersion5FileInUtf16WithByteOrderMark)
{
    const std::string payload = Utf16Le("C:\\Обмен\\Out") + std::string(2, '\0');
    const std::string utf8 = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[" +
                             kOptions +
                             "]\r\n"
                             "\"User\"=\"Пользователь 😀\"\r\n"
                             "\"Start1\"=hex:00,00,00,00,00,55,f6,3f\r\n"
                             "\"Out\"=hex(2):" +
                             HexList(payload) +
                             "\r\n"
                             "\"Flag\"=hex(4):02,00,00,00\r\n";
    const std::string file = "\xFF\xFE" + Utf16Le(utf8);

    const RegDocument doc = ParseRegFile(file, "win5.reg");
    EXPECT_EQ(ValueOf(doc, kOptions, "User").Text, "Пользователь 😀");
    EXPECT_EQ(ValueOf(doc, kOptions, "Start1").Bytes,
              (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0x55, 0xf6, 0x3f}));
    EXPECT_EQ(ValueOf(doc, kOptions, "Out").Text, "C:\\Обмен\\Out");
    EXPECT_EQ(ValueOf(doc, kOptions, "Flag").Kind, RegKind::Dword);
    EXPECT_EQ(ValueOf(doc, kOptions, "Flag").Dword, 2u);
}

TEST(RegFile, Version5TextsStayUtf16InAFileSavedAsUtf8)
{
    const std::string file = "Windows Registry Editor Version 5.00\n[" + kOptions +
                             "]\n\"Out\"=hex(2):" + HexList(Utf16Le("Обмен") + std::string(2, '\0')) + "\n";
    EXPECT_EQ(ValueOf(ParseRegFile(file, "t"), kOptions, "Out").Text, "Обмен");
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
        {head + "\"Name=\"x\"\n", 4, "\"=\" expected"},
        {head + "\"A\"=\"ok\"\n\"B\"=\"open\n", 5, "unterminated"},
        {head + "\"Bin\"=hex:00,01,\\\n  02,zz\n", 4, "malformed byte"},
        {head + "\"Bin\"=hex:00,01,\\", 4, "past the end"},
        {head + "\"Multi\"=hex(7):00,00\n", 4, "hex(7)"},
        {head + "[-HKEY_LOCAL_MACHINE\\A]\n", 4, "deleting keys"},
        {head + "\"A\"=-\n", 4, "deleting values"},
        {head + "garbage\n", 4, "unexpected text"},
    };
    for (const Case& c : cases) {
        try {
            (void)ParseRegFile(c.Text, "/some/hklm.reg");
            ADD_FAILURE() << "accepted: " << c.Text;
        } catch (const RegFileError& e) {
            EXPECT_EQ(e.Line(), c.Line) << e.what();
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("/some/hklm.reg, line " + std::to_string(c.Line) + ": ", 0), 0u)
                << message;
            EXPECT_NE(message.find(c.Problem), std::string::npos) << message;
        }
    }
}

TEST(RegFile, MergesKeysAndValuesWithoutRegardToCase)
{
    const RegDocument doc = ParseRegFile("REGEDIT4\n"
                                         "[HKEY_LOCAL_MACHINE\\Software\\Папка]\n\"WindowUnknown\"=dword:1\n"
                                         "[hkey_local_machine\\SOFTWARE\\пАПКА]\n\"WINDOWUNKNOWN\"=dword:2\n"
                                         "\"Other\"=\"x\"\n",
                                         "t");
    ASSERT_EQ(doc.Keys.size(), 1u);
    ASSERT_EQ(doc.Keys[0].Values.size(), 2u);
    EXPECT_EQ(ValueOf(doc, "HKEY_LOCAL_MACHINE\\SOFTWARE\\ПАПКА", "windowunknown").Dword, 2u);
    EXPECT_TRUE(RegNamesEqual("Ёлка Ђ", "ёЛКА ђ"));
    EXPECT_FALSE(RegNamesEqual("Port", "Ports"));
    EXPECT_FALSE(RegNamesEqual("ProxyPort", "ProxyPart"));
}

} // namespace ornel::test
