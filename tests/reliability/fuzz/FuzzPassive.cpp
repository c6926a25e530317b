// Fuzz target: the 227 reply's address text and the SIZE reply's number, both read out of a
// reply the server chose.
#include "ftp/FtpDataAddress.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ornel::FtpReply reply;
    reply.Code = "227";
    for (const auto& line :
         ornel::SplitTextLines(std::string_view(reinterpret_cast<const char*>(data), size))) {
        reply.Text.push_back(line);
    }
    try {
        const ornel::DataAddress address = ornel::ParsePassiveReply(reply);
        if (address.port < 1 || address.port > 65535) {
            std::abort(); // only a usable port may leave the parser
        }
        (void)ornel::PortArgument(address.host, address.port);
    } catch (const ornel::EFtpException&) {
    } catch (const ornel::EConvertError&) {
    }
    // The SIZE reply: the number after the first blank of the trimmed text.
    std::string text = ornel::Trim(reply.JoinedText());
    const std::size_t blank = text.find(' ');
    if (blank != std::string::npos) {
        text.erase(0, blank + 1);
    }
    (void)ornel::TryParseInt(text).value_or(-1);
    return 0;
}
