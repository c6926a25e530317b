#include "support/LoopbackPort.h"

#include "platform/Socket.h"

namespace ornel::test
{

int FreeLoopbackPort()
{
    Socket probe = Socket::CreateTcp();
    probe.Bind("127.0.0.1", 0);
    return probe.LocalPort();
}

} // namespace ornel::test
