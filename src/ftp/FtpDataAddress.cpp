#include "ftp/FtpDataAddress.h"

#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"

#include <vector>

namespace ornel
{

DataAddress ParsePassiveReply(const FtpReply& reply)
{
    const std::string line = Trim(reply.Text.empty() ? std::string() : reply.Text.front());
    std::string fields;
    const std::size_t open = line.find('(');
    const std::size_t close = line.find(')');
    if (open != std::string::npos && close != std::string::npos) {
        fields = close > open ? line.substr(open + 1, close - open - 1) : std::string();
    } else {
        const std::size_t blank = line.rfind(' ');
        fields = blank == std::string::npos ? line : line.substr(blank + 1);
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = fields.find(',', start);
        parts.push_back(fields.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    parts.resize(std::max<std::size_t>(parts.size(), 6));
    DataAddress address;
    address.host = parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3];
    const std::int64_t high = ParseIntOrThrow(Trim(parts[4]));
    const std::int64_t low = ParseIntOrThrow(Trim(parts[5]));
    // The fields are checked before they are combined: a huge field must not overflow.
    if (high < 0 || high > 255 || low < 0 || low > 255 || (high == 0 && low == 0)) {
        throw EFtpException("The server named an invalid data port: " + parts[4] + "," + parts[5] + ".");
    }
    address.port = static_cast<int>(high * 256 + low);
    return address;
}

std::string PortArgument(const std::string& address, int port)
{
    std::string text = address;
    for (char& c : text) {
        if (c == '.') {
            c = ',';
        }
    }
    return text + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

} // namespace ornel
