// Which way a file travels through the engine; the values are the stored/logged codes
// 0 (outgoing, to the server) and 1 (incoming, from the server).
#pragma once

namespace ornel
{

enum class TransferDirection
{
    Outgoing = 0,
    Incoming = 1,
};

} // namespace ornel
