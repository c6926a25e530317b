#include "ftp/FtpReply.h"

#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"

namespace ornel
{

int FtpReply::NumericCode() const
{
    const auto value = TryParseInt(Code);
    return value ? static_cast<int>(*value) : 0;
}

std::string FtpReply::Message() const
{
    std::string message;
    for (const auto& line : Text) {
        message += line;
        message += "\r\n";
    }
    return message;
}

std::string FtpReply::JoinedText() const
{
    std::string joined;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (i > 0) {
            joined += "\r\n";
        }
        joined += Text[i];
    }
    return joined;
}

bool IsReplyEndLine(std::string_view line)
{
    if (line.size() <= 3) {
        return TryParseInt(line).has_value();
    }
    return TryParseInt(line.substr(0, 3)).has_value() && line[3] == ' ';
}

std::string ReplyCodeOf(std::string_view firstLine)
{
    std::string code = Trim(firstLine.substr(0, 4));
    if (code.size() == 4 && code[3] == '-') {
        code.resize(3);
    }
    if (!code.empty()) {
        const auto value = TryParseInt(code);
        if (!value || *value < 100 || *value > 999) {
            throw EFtpException("Reply Code is not valid: " + code);
        }
    }
    return code;
}

FtpReply BuildReply(const std::vector<std::string>& lines)
{
    FtpReply reply;
    if (lines.empty()) {
        return reply;
    }
    const std::string& first = lines.front();
    const std::string code = ReplyCodeOf(first);
    reply.Code = code;
    reply.Text.push_back(first.size() > 4 ? first.substr(4) : std::string());
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!code.empty() && EqualsNoCase(std::string_view(line).substr(0, 3), code)) {
            reply.Text.push_back(line.size() > 4 ? line.substr(4) : std::string());
        } else {
            reply.Text.push_back(TrimLeft(line));
        }
    }
    return reply;
}

} // namespace ornel
