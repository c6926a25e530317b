#include "ftp/FtpReply.h"

#include "ClientFixture.h"
#include "ftp/FtpDataAddress.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"
#include "ftp/OneTimePassword.h"

#include <gtest/gtest.h>

namespace ornel::test
{

TEST(FtpReply, MultiLineReplyKeepsTextOfEveryLine)
{
    const FtpReply reply = BuildReply({"230-Welcome", "230-Second line", " indented", "230 Done."});
    EXPECT_EQ(reply.Code, "230");
    EXPECT_EQ(reply.NumericCode(), 230);
    EXPECT_EQ(reply.Text, (std::vector<std::string>{"Welcome", "Second line", "indented", "Done."}));
    EXPECT_EQ(reply.Message(), "Welcome\r\nSecond line\r\nindented\r\nDone.\r\n");

    // A line of another code is text without its leading blanks, not a code line.
    const FtpReply other = BuildReply({"211-Features:", "  MDTM", "211 End"});
    EXPECT_EQ(other.Text, (std::vector<std::string>{"Features:", "MDTM", "End"}));
}

TEST(FtpReply, EndLineIsThreeDigitsAndBlankOrJustDigits)
{
    EXPECT_TRUE(IsReplyEndLine("226 Done"));
    EXPECT_TRUE(IsReplyEndLine("999 other code ends too"));
    EXPECT_TRUE(IsReplyEndLine("220"));
    EXPECT_TRUE(IsReplyEndLine("22"));
    EXPECT_FALSE(IsReplyEndLine("220-more"));
    EXPECT_FALSE(IsReplyEndLine(""));
    EXPECT_FALSE(IsReplyEndLine("abc def"));
    EXPECT_FALSE(IsReplyEndLine("2200 x"));
}

TEST(FtpReply, InvalidCodeNamesFirstFourCharacters)
{
    EXPECT_EQ(MessageOf<EFtpException>([] { static_cast<void>(BuildReply({"Hello world"})); }),
              "Reply Code is not valid: Hell");
    EXPECT_EQ(MessageOf<EFtpException>([] { static_cast<void>(BuildReply({"099 low"})); }),
              "Reply Code is not valid: 099");
    EXPECT_EQ(BuildReply({"421"}).NumericCode(), 421);
    EXPECT_EQ(BuildReply({"421"}).Text, std::vector<std::string>{""});
}

TEST(FtpText, ListingLinesSplitAtEveryLineEnd)
{
    EXPECT_EQ(SplitTextLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitTextLines("a\r\nb"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitTextLines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitTextLines("a\rb\r\r\n"), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(SplitTextLines(std::string("a \r\nb\0c\r\n", 10)), (std::vector<std::string>{"a ", "b"}));
    EXPECT_TRUE(SplitTextLines("").empty());
}

TEST(FtpText, IntegerReadingIsStrict)
{
    EXPECT_EQ(TryParseInt("1234"), 1234);
    EXPECT_EQ(TryParseInt("-300"), -300);
    EXPECT_EQ(TryParseInt("9223372036854775807"), INT64_MAX);
    EXPECT_FALSE(TryParseInt("9223372036854775808"));
    EXPECT_FALSE(TryParseInt(" 12"));
    EXPECT_FALSE(TryParseInt("12a"));
    EXPECT_FALSE(TryParseInt("-"));
    EXPECT_EQ(MessageOf<EConvertError>([] { static_cast<void>(ParseIntOrThrow("x1")); }),
              "'x1' is not a valid integer value");
}

TEST(FtpDataAddress, PassiveReplyWithAndWithoutParentheses)
{
    FtpReply reply{"227", {"Entering Passive Mode (192,168,10,5,19,137)"}};
    DataAddress address = ParsePassiveReply(reply);
    EXPECT_EQ(address.host, "192.168.10.5");
    EXPECT_EQ(address.port, 5001);

    reply.Text = {"Passive 10,0,0,7,4,1"};
    address = ParsePassiveReply(reply);
    EXPECT_EQ(address.host, "10.0.0.7");
    EXPECT_EQ(address.port, 1025);

    reply.Text = {"Entering Passive Mode (1,2,3,4, 19 , 137 )"};
    EXPECT_EQ(ParsePassiveReply(reply).port, 5001);

    reply.Text = {"Entering Passive Mode (1,2,3,4,x,1)"};
    EXPECT_EQ(MessageOf<EConvertError>([&] { static_cast<void>(ParsePassiveReply(reply)); }),
              "'x' is not a valid integer value");
    for (const char* bad :
         {"(1,2,3,4,300,1)", "(1,2,3,4,0,0)", "(1,2,3,4,-1,5)", "(1,2,3,4,9223372036854775807,1)"}) {
        reply.Text = {bad};
        EXPECT_THROW(static_cast<void>(ParsePassiveReply(reply)), EFtpException) << bad;
    }

    EXPECT_EQ(PortArgument("10.1.2.3", 5001), "10,1,2,3,19,137");
}

TEST(OneTimePassword, PublishedVectorsForEveryAlgorithm)
{
    struct Vector
    {
        OtpAlgorithm algorithm;
        int count;
        std::uint64_t key;
        const char* words;
    };
    const Vector vectors[] = {
        {OtpAlgorithm::Md4, 0, 0xD1854218EBBB0B51ULL, "ROME MUG FRED SCAN LIVE LACE"},
        {OtpAlgorithm::Md4, 1, 0x63473EF01CD0B444ULL, "CARD SAD MINI RYE COL KIN"},
        {OtpAlgorithm::Md4, 99, 0xC5E612776E6C237AULL, "NOTE OUT IBIS SINK NAVE MODE"},
        {OtpAlgorithm::Md5, 0, 0x9E876134D90499DDULL, "INCH SEA ANNE LONG AHEM TOUR"},
        {OtpAlgorithm::Md5, 1, 0x7965E05436F5029FULL, "EASE OIL FUM CURE AWRY AVIS"},
        {OtpAlgorithm::Md5, 99, 0x50FE1962C4965880ULL, "BAIL TUFT BITS GANG CHEF THY"},
        {OtpAlgorithm::Sha1, 0, 0xBB9E6AE1979D8FF4ULL, "MILT VARY MAST OK SEES WENT"},
        {OtpAlgorithm::Sha1, 1, 0x63D936639734385BULL, "CART OTTO HIVE ODE VAT NUT"},
        {OtpAlgorithm::Sha1, 99, 0x87FEC7768B73CCF9ULL, "GAFF WAIT SKID GIG SKY EYED"},
    };
    for (const auto& v : vectors) {
        const std::uint64_t key = OtpKey(v.algorithm, v.count, "TeSt", "This is a test.");
        EXPECT_EQ(key, v.key) << "count " << v.count;
        EXPECT_EQ(OtpSixWords(key), v.words) << "count " << v.count;
    }
}

TEST(OneTimePassword, ChallengeIsFoundOnlyForKnownAlgorithms)
{
    auto challenge = FindOtpChallenge("Response to otp-md5 499 ke1234 required");
    ASSERT_TRUE(challenge);
    EXPECT_EQ(challenge->algorithm, OtpAlgorithm::Md5);
    EXPECT_EQ(challenge->sequence, 499);
    EXPECT_EQ(challenge->seed, "ke1234");

    challenge = FindOtpChallenge("otp-sha1 7 seed");
    ASSERT_TRUE(challenge);
    EXPECT_EQ(challenge->algorithm, OtpAlgorithm::Sha1);
    EXPECT_EQ(challenge->seed, "seed");

    EXPECT_FALSE(FindOtpChallenge("Response to otp-sha256 5 seed"));
    EXPECT_FALSE(FindOtpChallenge("Password required for user"));
    EXPECT_EQ(MessageOf<EConvertError>([] { static_cast<void>(FindOtpChallenge("otp-md4 abc seed")); }),
              "'abc' is not a valid integer value");
}

} // namespace ornel::test
