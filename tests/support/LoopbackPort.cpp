#include "support/LoopbackPort.h"

#include "platform/Socket.h"

#ifndef _WIN32
#include <chrono>
#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>
#endif

namespace ornel::test
{

int FreeLoopbackPort()
{
    Socket probe = Socket::CreateTcp();
    probe.Bind("127.0.0.1", 0);
    return probe.LocalPort();
}

#ifndef _WIN32

namespace
{

// Above the passive ranges of the test servers (5000 to 29999) and below the system's first
// ephemeral port (32768 unless configured otherwise).
constexpr int kFirstServerPort = 30000;
constexpr int kServerPorts = 2700;

// Takes the port's name in the abstract socket namespace: one holder at a time on this
// machine, let go when the descriptor closes. -1 when another process holds it.
int TakePortName(int port)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    const std::string name = "ornel-ftp-test-port-" + std::to_string(port);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // The first byte stays 0: an abstract name, with no file behind it.
    name.copy(address.sun_path + 1, sizeof address.sun_path - 2);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::mutex g_heldMutex;
std::vector<int> g_held; // the names taken, kept until the process ends

} // namespace

bool HoldServerPort(int port)
{
    const int name = TakePortName(port);
    if (name < 0) {
        return false;
    }
    try {
        Socket probe = Socket::CreateTcp();
        probe.Bind("127.0.0.1", port); // nobody else, another program included, has it now
    } catch (const SocketError&) {
        ::close(name);
        return false;
    }
    const std::lock_guard lock(g_heldMutex);
    g_held.push_back(name);
    return true;
}

int ReservedServerPort()
{
    // Each process starts its search elsewhere, so that tests running together rarely try
    // the same ports.
    const auto seed = static_cast<unsigned>(::getpid()) * 2654435761u +
                      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int i = 0; i < kServerPorts; ++i) {
        const int port =
            kFirstServerPort + static_cast<int>((seed + static_cast<unsigned>(i)) % kServerPorts);
        if (HoldServerPort(port)) {
            return port;
        }
    }
    throw std::runtime_error("no free loopback port between " + std::to_string(kFirstServerPort) + " and " +
                             std::to_string(kFirstServerPort + kServerPorts - 1));
}

#endif

} // namespace ornel::test
