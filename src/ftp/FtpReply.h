// One reply of the FTP server as the client keeps it, and the rules that cut a reply out of
// the received lines. Plain values, owned by FtpClient; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

struct FtpReply
{
    // The three characters of the code, or empty when the first line carried none.
    std::string Code;
    // Text lines without the code and its separator, in the program's UTF-8.
    std::vector<std::string> Text;

    // The code read as an integer; 0 when it is not one.
    [[nodiscard]] int NumericCode() const;
    // Every text line followed by CR LF: the message of a refused reply.
    [[nodiscard]] std::string Message() const;
    // The text lines joined with CR LF, without a trailing line end.
    [[nodiscard]] std::string JoinedText() const;
};

// True for the line that closes a reply: up to three characters that read as an integer, or
// three that do followed by a blank.
[[nodiscard]] bool IsReplyEndLine(std::string_view line);

// The code text of a reply's first line; throws EFtpException "Reply Code is not valid: %s"
// unless it is empty or a number from 100 to 999.
[[nodiscard]] std::string ReplyCodeOf(std::string_view firstLine);

// Builds a reply from its lines (the first one non-empty, the last one an end line). Throws
// EFtpException "Reply Code is not valid: %s" when the first line carries no valid code.
[[nodiscard]] FtpReply BuildReply(const std::vector<std::string>& lines);

} // namespace ornel
