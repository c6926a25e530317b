// A loopback port that nobody listens on at the moment of asking, for tests that start a
// server or need a refused connection.
#pragma once

namespace ornel::test
{

// A port on 127.0.0.1 that was free a moment ago.
[[nodiscard]] int FreeLoopbackPort();

#ifndef _WIN32
// A port on 127.0.0.1 for a server program that a test starts, free now and kept from the
// other tests of the run until this process ends: it lies above the servers' passive ranges
// and below the ports the system hands to outgoing connections, so that no connection takes
// it in the moment before the server binds it, and the tests running beside this one hold
// theirs by an abstract socket named after the port.
[[nodiscard]] int ReservedServerPort();
// Takes `port` as ReservedServerPort does, when it is free and no other process holds it.
[[nodiscard]] bool HoldServerPort(int port);
#endif

} // namespace ornel::test
