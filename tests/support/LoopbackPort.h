// A loopback port that nobody listens on at the moment of asking, for tests that start a
// server or need a refused connection.
#pragma once

namespace ornel::test
{

// A port on 127.0.0.1 that was free a moment ago.
[[nodiscard]] int FreeLoopbackPort();

} // namespace ornel::test
