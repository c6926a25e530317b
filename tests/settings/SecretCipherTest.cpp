#include "settings/SecretCipher.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <string>

namespace ornel::test
{

namespace
{

std::string Hex(std::span<const std::uint8_t> bytes)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const std::uint8_t b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

std::array<std::uint8_t, 16> FromHex(const std::string& hex)
{
    std::array<std::uint8_t, 16> out{};
    for (std::size_t i = 0; i < 16; ++i)
        out[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return out;
}

std::vector<std::uint8_t> Bytes(std::string_view s)
{
    return {s.begin(), s.end()};
}

} // namespace

TEST(SecretCipher, Rc6MatchesThePublishedVectors)
{
    const std::array<std::uint8_t, 16> zero{};
    EXPECT_EQ(Hex(Rc6EncryptBlock(zero, zero)), "8fc3a53656b1f778c129df4e9848a41e");
    const auto key = FromHex("0123456789abcdef0112233445566778");
    EXPECT_EQ(Hex(Rc6EncryptBlock(key, FromHex("02132435465768798a9bacbdcedfe0f1"))),
              "524e192f4715c6231f51f6367ea43f18");
}

TEST(SecretCipher, Base64FollowsTheStandardAlphabetAndPadding)
{
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\xFF\xFE\x00", 3), "//4A"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(Base64Encode(Bytes(plain)), encoded);
        EXPECT_EQ(Base64Decode(encoded), Bytes(plain)) << encoded;
    }
    // Only whole groups count; the rest is ignored, and stray characters do not fail.
    EXPECT_EQ(Base64Decode("Zm9vYmE"), Bytes("foo"));
    EXPECT_EQ(Base64Decode("Zg="), Bytes(""));
    EXPECT_EQ(Base64Decode("Zg==Zg=="), Bytes("ff"));
    EXPECT_EQ(Base64Decode("!!!!").size(), 3u);
}

TEST(SecretCipher, ReproducesStoredValues)
{
    EXPECT_EQ(EncryptSecret("12345678"), "f9NLMtP8TSc=");
    EXPECT_EQ(EncryptSecret("a"), "Lw==");
    EXPECT_EQ(EncryptSecret("abc"), "Lz6J");
    EXPECT_EQ(DecryptSecret("f9NLMtP8TSc="), "12345678");
    EXPECT_EQ(DecryptSecret("Lw=="), "a");
    EXPECT_EQ(DecryptSecret("Lz6J"), "abc");
    EXPECT_EQ(EncryptSecret(""), "");
    EXPECT_EQ(DecryptSecret(""), "");
    // Each call keys afresh: the same value always gives the same stored text.
    EXPECT_EQ(EncryptSecret("12345678"), EncryptSecret("12345678"));
}

TEST(SecretCipher, StoredLengthFollowsTheValueLength)
{
    EXPECT_EQ(EncryptSecret("x").size(), 4u);
    EXPECT_EQ(EncryptSecret("x").substr(2), "==");
    EXPECT_EQ(EncryptSecret("xy").size(), 4u);
    EXPECT_EQ(EncryptSecret("xy").back(), '=');
    EXPECT_EQ(EncryptSecret("xy").find("=="), std::string::npos);
    EXPECT_EQ(EncryptSecret("xyz").find('='), std::string::npos);
    EXPECT_EQ(EncryptSecret("        ").size(), 12u); // an untouched PIN field
}

TEST(SecretCipher, SharedPrefixesGiveSharedCipherBytes)
{
    const auto a = Base64Decode(EncryptSecret("abcdefg1"));
    const auto b = Base64Decode(EncryptSecret("abcdefgZ"));
    ASSERT_EQ(a.size(), 8u);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + 7, b.begin()));
    EXPECT_NE(a[7], b[7]);
    EXPECT_EQ(EncryptSecret("abcdefg1").substr(0, 8), EncryptSecret("abcdefgZ").substr(0, 8));
    EXPECT_NE(EncryptSecret("abcdefg1").substr(0, 12), EncryptSecret("abcdefgZ").substr(0, 12));
}

TEST(SecretCipher, PartialGroupsAreIgnoredWhenDeciphering)
{
    EXPECT_EQ(DecryptSecret("f9NLMtP8TSc=xyz"), "12345678");
    EXPECT_EQ(DecryptSecret("Lz6JLw"), "abc");
    EXPECT_EQ(DecryptSecret("Lz6"), "");
}

TEST(SecretCipher, EveryWindowsTextSurvivesARoundTrip)
{
    std::string all;
    for (int i = 1; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string text = Cp1251ToUtf8(all);
    EXPECT_EQ(DecryptSecret(EncryptSecret(text)), text);
    EXPECT_EQ(EncryptSecret(text).size(), 4 * ((all.size() + 2) / 3));
    EXPECT_EQ(DecryptSecret(EncryptSecret("Пароль №1 Ёж")), "Пароль №1 Ёж");
    EXPECT_EQ(EncryptSecret("Пароль").size(), 8u); // Cyrillic letters are one byte each
    // A text the cipher cannot take is refused as the empty text, not altered.
    EXPECT_EQ(EncryptSecret("pass中"), "");
    // Garbage deciphers to something, silently.
    EXPECT_EQ(DecryptSecret("****").size() > 0, true);
}

} // namespace ornel::test
