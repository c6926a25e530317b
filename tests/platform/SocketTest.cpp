#include "platform/Socket.h"

#include "support/LoopbackPort.h"

#include <gtest/gtest.h>
#include <thread>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ornel::test
{
namespace
{

int NumberOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const SocketError& e) {
        return e.Number();
    }
    return 0;
}

TEST(Socket, ConnectsSendsAndReceivesOnLoopback)
{
    Socket listener = Socket::CreateTcp();
    listener.Bind("127.0.0.1", 0);
    listener.Listen(1);
    const int port = listener.LocalPort();
    ASSERT_GT(port, 0);

    Socket client = Socket::CreateTcp();
    client.Connect("127.0.0.1", port);
    ASSERT_TRUE(listener.WaitReadable(std::chrono::seconds(5)));
    std::string peer;
    Socket server = listener.Accept(peer);
    EXPECT_EQ(peer, "127.0.0.1");
    EXPECT_EQ(server.PeerPort(), client.LocalPort());

    ASSERT_EQ(client.Send("220 ready\r\n", 11), 11u);
    char buffer[32] = {};
    ASSERT_TRUE(server.WaitReadable(std::chrono::seconds(5)));
    EXPECT_EQ(server.Receive(buffer, sizeof buffer), 11u);
    EXPECT_EQ(std::string(buffer, 11), "220 ready\r\n");

    client.ShutdownSend();
    EXPECT_EQ(server.Receive(buffer, sizeof buffer), 0u); // the peer closed its side
}

TEST(Socket, FailuresCarryTheWinsockNumbers)
{
    const int port = FreeLoopbackPort();
    EXPECT_EQ(NumberOf([&] { Socket::CreateTcp().Connect("127.0.0.1", port); }), 10061);
    EXPECT_EQ(NumberOf([] { (void)ResolveIPv4("no-such-host.invalid"); }), kSocketErrorHostNotFound);
    EXPECT_EQ(NumberOf([] { Socket::CreateTcp().Connect("not an address", 21); }), 10049);

    Socket taken = Socket::CreateTcp();
    taken.Bind("127.0.0.1", 0);
    taken.Listen(1);
    EXPECT_EQ(NumberOf([&] { Socket::CreateTcp().Bind("127.0.0.1", taken.LocalPort()); }),
              kSocketErrorAddressInUse);
    Socket closed;
    EXPECT_EQ(NumberOf([&] { (void)closed.Send("x", 1); }), kSocketErrorNotASocket);
}

TEST(Socket, AReceiveTimeoutEndsAWaitForAPeerThatSaysNothing)
{
    Socket listener = Socket::CreateTcp();
    listener.Bind("127.0.0.1", 0);
    listener.Listen(1);
    Socket client = Socket::CreateTcp();
    client.Connect("127.0.0.1", listener.LocalPort());
    std::string peer;
    Socket silent = listener.Accept(peer);

    client.SetReceiveTimeout(std::chrono::milliseconds(300));
    char byte = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(NumberOf([&] { (void)client.Receive(&byte, 1); }), 10035);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::seconds(10));
    EXPECT_FALSE(client.WaitReadable(std::chrono::milliseconds(50)));
}

} // namespace
#ifndef _WIN32
// A test that starts a server program holds its port from every other test of the run.
TEST(LoopbackPorts, AServerPortIsHeldFromTheTestsRunningBeside)
{
    const int held = ReservedServerPort();
    EXPECT_GE(held, 30000);
    EXPECT_LT(held, 32768) << "below the ports of outgoing connections";
    EXPECT_FALSE(HoldServerPort(held)) << "nor given twice in one process";
    Socket listener = Socket::CreateTcp();
    listener.Bind("127.0.0.1", 0);
    listener.Listen(1);
    EXPECT_FALSE(HoldServerPort(listener.LocalPort())) << "a port another program listens on";
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // No test macros here: the exit code tells.
        if (HoldServerPort(held)) {
            ::_exit(1);
        }
        ::_exit(ReservedServerPort() != held ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the port held here was taken by another process";
}
#endif

} // namespace ornel::test
