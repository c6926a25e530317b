// The data connection of one transfer: in active mode the listening socket until the
// server's connection is accepted, then the connection itself. Lives inside one FtpClient
// transfer on its thread.
#pragma once

#include "ftp/FtpConnection.h"
#include "platform/Socket.h"

namespace ornel
{

class FtpDataChannel
{
public:
    FtpDataChannel() = default;
    FtpDataChannel(const FtpDataChannel&) = delete;
    FtpDataChannel& operator=(const FtpDataChannel&) = delete;

    Socket listener;
    FtpConnection connection;
};

} // namespace ornel
