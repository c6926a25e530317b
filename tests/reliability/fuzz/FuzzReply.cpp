// Fuzz target: the control connection's reply reader, fed line by line as the client reads
// them (CR LF, LF or CR ends a line), with the client's own limits on a reply.
#include "ftp/FtpErrors.h"
#include "ftp/FtpReply.h"
#include "ftp/FtpText.h"
#include "platform/CodePage.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto received = ornel::SplitTextLines(input);
    std::size_t next = 0;
    while (next < received.size()) {
        std::string line;
        while (next < received.size() && ornel::Trim(line = received[next++]).empty()) {
        }
        std::vector<std::string> lines;
        try {
            const std::string code = ornel::ReplyCodeOf(line);
            const auto value = ornel::TryParseInt(code);
            if (!code.empty() && (!value || *value < 100 || *value > 999)) {
                std::abort(); // a code the reader accepted must read as 100 to 999
            }
            lines.push_back(ornel::Cp1251ToUtf8(line));
            while (!ornel::IsReplyEndLine(line) && next < received.size() && lines.size() < 5000) {
                line = received[next++];
                lines.push_back(ornel::Cp1251ToUtf8(line));
            }
            const ornel::FtpReply reply = ornel::BuildReply(lines);
            const int numeric = reply.NumericCode();
            if (numeric < 0 || numeric > 999) {
                std::abort();
            }
            (void)reply.Message();
            (void)reply.JoinedText();
        } catch (const ornel::EFtpException&) {
            // a refused reply is the expected outcome of garbage
        }
    }
    return 0;
}
