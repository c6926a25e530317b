// Inputs the fuzz targets found, kept as ordinary tests of the parsers they broke.
#include "ftp/FtpDataAddress.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpReply.h"
#include "ftp/FtpText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ornel::test
{

namespace
{

FtpReply Passive(const std::string& text)
{
    FtpReply reply;
    reply.Code = "227";
    reply.Text.push_back(text);
    return reply;
}

} // namespace

// A port field too large for the arithmetic once overflowed before it was range-checked.
TEST(FuzzRegressionTest, PassiveReplyWithHugePortFieldsIsRefused)
{
    const std::vector<std::string> hostile = {
        "Enter0,1,19\xcb\xcf\xd3\xd7,19,502222222222222222,1,/",
        "Entering Passive Mode (127,0,0,1,9223372036854775807,255)",
        "Entering Passive Mode (127,0,0,1,1,-9223372036854775808)",
        "Entering Passive Mode (127,0,0,1,36028797018963968,0)",
    };
    for (const auto& text : hostile) {
        EXPECT_THROW((void)ParsePassiveReply(Passive(text)), EFtpException) << text;
    }
    EXPECT_THROW((void)ParsePassiveReply(Passive("Entering Passive Mode (127,0,0,1,0,0)")), EFtpException);
    const DataAddress ok = ParsePassiveReply(Passive("Entering Passive Mode (127,0,0,1,255,255)"));
    EXPECT_EQ(ok.host, "127.0.0.1");
    EXPECT_EQ(ok.port, 65535);
}

// A first line whose four leading characters read as a number in range is taken as its code;
// garbage lines around it must neither crash the reader nor give a code outside 100 to 999.
TEST(FuzzRegressionTest, ReplyLinesWithOddCodesKeepTheCodeInRange)
{
    const auto lines = SplitTextLines(std::string("\r\n020332\x10\n00\n\n--", 17));
    ASSERT_FALSE(lines.empty());
    for (const auto& line : lines) {
        if (Trim(line).empty()) {
            continue;
        }
        try {
            const FtpReply reply = BuildReply({line});
            EXPECT_GE(reply.NumericCode(), 100) << line;
            EXPECT_LE(reply.NumericCode(), 999) << line;
        } catch (const EFtpException&) {
        }
    }
}

} // namespace ornel::test
