#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace ornel::test
{

TEST(CodePage, EveryByteSurvivesARoundTripThroughUtf8)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string utf8 = Cp1251ToUtf8(all);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_TRUE(IsCp1251Representable(utf8));
    EXPECT_EQ(Utf8ToCp1251(utf8), all);
}

TEST(CodePage, CyrillicAndPunctuationMapToTheirWindowsBytes)
{
    EXPECT_EQ(Utf8ToCp1251("Ошибка: ёЁ №"), "\xCE\xF8\xE8\xE1\xEA\xE0: \xB8\xA8 \xB9");
    EXPECT_EQ(Utf8ToCp1251("€‚„…–—«»"), "\x88\x82\x84\x85\x96\x97\xAB\xBB");
    EXPECT_EQ(Cp1251ToUtf8("\xC0\xDF\xE0\xFF\xA5\xB4"), "АЯаяҐґ");
    EXPECT_EQ(Cp1251ToUtf8("plain ASCII"), "plain ASCII");
}

TEST(CodePage, RefusesCharactersWithoutAWindowsForm)
{
    EXPECT_FALSE(IsCp1251Representable("abc 中"));
    try {
        (void)Utf8ToCp1251("abc 中 d");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("U+4E2D"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("中"), std::string::npos) << e.what();
    }
    EXPECT_THROW((void)Utf8ToCp1251("emoji \xF0\x9F\x98\x80"), std::runtime_error);
}

TEST(CodePage, RejectsMalformedUtf8)
{
    for (const std::string bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xFF", "a\x80"}) {
        EXPECT_FALSE(IsValidUtf8(bad));
        EXPECT_FALSE(IsCp1251Representable(bad));
        EXPECT_THROW((void)Utf8ToCp1251(bad), std::runtime_error);
    }
}

TEST(CodePage, LossyConversionReplacesWhatCannotBeWritten)
{
    EXPECT_EQ(Utf8ToCp1251Lossy("Файл 中.txt"), "\xD4\xE0\xE9\xEB ?.txt");
    EXPECT_EQ(Utf8ToCp1251Lossy("a\xFF"
                                "b"),
              "a?b");
}

} // namespace ornel::test
