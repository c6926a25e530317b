// The address texts of the data connection: the server's 227 reply and the PORT argument.
// Pure functions; any thread.
#pragma once

#include "ftp/FtpReply.h"

#include <string>

namespace ornel
{

struct DataAddress
{
    std::string host;
    int port = 0;
};

// Reads address and port from a 227 reply: the text between the first "(" and ")", or
// else after the last blank, as h1,h2,h3,h4,p1,p2. Throws EConvertError for a port field
// that is not an integer.
[[nodiscard]] DataAddress ParsePassiveReply(const FtpReply& reply);

// "h1,h2,h3,h4,p1,p2" for PORT.
[[nodiscard]] std::string PortArgument(const std::string& address, int port);

} // namespace ornel
