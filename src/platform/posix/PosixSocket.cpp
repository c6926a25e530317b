// POSIX implementation of Socket: BSD sockets, poll for the waits, errno mapped onto the
// Winsock numbers that the program's messages carry.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>

namespace ornel
{

namespace
{

// The Winsock number for a POSIX errno value.
int SocketErrorFromErrno(int err)
{
    switch (err) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EWOULDBLOCK:
        return 10035;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    // A send after the peer reset the connection is EPIPE here and a reset under Winsock.
    case EPIPE:
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETOOMANYREFS:
        return 10059;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    case ENOTEMPTY:
        return 10066;
    default:
        return 10000 + err;
    }
}

[[noreturn]] void ThrowErrno()
{
    throw SocketError(SocketErrorFromErrno(errno));
}

sockaddr_in MakeAddress(const std::string& address, int port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    if (address.empty()) {
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        throw SocketError(10049);
    }
    if (port < 0 || port > 65535) {
        throw SocketError(10049);
    }
    return sa;
}

std::string AddressText(const sockaddr_in& sa)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
    return text;
}

} // namespace

std::string ResolveIPv4(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (rc != 0 || result == nullptr) {
        if (result != nullptr) {
            freeaddrinfo(result);
        }
        throw SocketError(kSocketErrorHostNotFound);
    }
    const std::string address = AddressText(*reinterpret_cast<const sockaddr_in*>(result->ai_addr));
    freeaddrinfo(result);
    return address;
}

Socket Socket::CreateTcp()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ThrowErrno();
    }
    return Socket(fd);
}

void Socket::Bind(const std::string& address, int port)
{
    const sockaddr_in sa = MakeAddress(address, port);
    if (::bind(static_cast<int>(m_handle), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        ThrowErrno();
    }
}

void Socket::SetNoDelay(bool on)
{
    const int value = on ? 1 : 0;
    if (::setsockopt(static_cast<int>(m_handle), IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
        ThrowErrno();
    }
}

namespace
{

void SetTimeoutOption(int fd, int option, std::chrono::milliseconds timeout)
{
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((timeout.count() % 1000) * 1000);
    if (::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv) != 0) {
        ThrowErrno();
    }
}

} // namespace

void Socket::SetSendTimeout(std::chrono::milliseconds timeout)
{
    SetTimeoutOption(static_cast<int>(m_handle), SO_SNDTIMEO, timeout);
}

void Socket::SetReceiveTimeout(std::chrono::milliseconds timeout)
{
    SetTimeoutOption(static_cast<int>(m_handle), SO_RCVTIMEO, timeout);
}

void Socket::Connect(const std::string& address, int port)
{
    const sockaddr_in sa = MakeAddress(address, port);
    int rc = 0;
    do {
        rc = ::connect(static_cast<int>(m_handle), reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ThrowErrno();
    }
}

void Socket::Listen(int backlog)
{
    if (::listen(static_cast<int>(m_handle), backlog) != 0) {
        ThrowErrno();
    }
}

namespace
{

bool WaitFor(int fd, short events, std::chrono::milliseconds timeout)
{
    if (fd < 0) {
        throw SocketError(kSocketErrorNotASocket);
    }
    pollfd pfd{fd, events, 0};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        int waitMs = -1;
        if (timeout.count() >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            waitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        }
        const int rc = ::poll(&pfd, 1, waitMs);
        if (rc > 0) {
            return true;
        }
        if (rc == 0) {
            return false;
        }
        if (errno != EINTR) {
            ThrowErrno();
        }
    }
}

} // namespace

bool Socket::WaitReadable(std::chrono::milliseconds timeout) const
{
    return WaitFor(static_cast<int>(m_handle), POLLIN, timeout);
}

bool Socket::WaitWritable(std::chrono::milliseconds timeout) const
{
    return WaitFor(static_cast<int>(m_handle), POLLOUT, timeout);
}

std::size_t Socket::Unacknowledged() const
{
    // The output queue of a TCP socket: written, not yet acknowledged by the peer.
    int queued = 0;
    if (m_handle == kNoHandle || ::ioctl(static_cast<int>(m_handle), TIOCOUTQ, &queued) != 0 || queued <= 0) {
        return 0;
    }
    // A connection the peer has reset keeps the count it had, though nothing of it will ever
    // be acknowledged now: report it as empty, so nobody waits on it; the next send or the
    // server's reply tells what happened.
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(static_cast<int>(m_handle), IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
        info.tcpi_state == TCP_CLOSE) {
        return 0;
    }
    return static_cast<std::size_t>(queued);
}

Socket Socket::Accept(std::string& peerAddress)
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int fd = -1;
    do {
        fd = ::accept4(static_cast<int>(m_handle), reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        ThrowErrno();
    }
    peerAddress = AddressText(sa);
    return Socket(fd);
}

std::size_t Socket::Send(const char* data, std::size_t size)
{
    if (m_handle == kNoHandle) {
        throw SocketError(kSocketErrorNotASocket);
    }
    while (true) {
        // MSG_NOSIGNAL: a peer that went away must give an error, not kill the program.
        const ssize_t sent = ::send(static_cast<int>(m_handle), data, size, MSG_NOSIGNAL);
        if (sent >= 0) {
            return static_cast<std::size_t>(sent);
        }
        if (errno != EINTR) {
            ThrowErrno();
        }
    }
}

std::size_t Socket::Receive(char* data, std::size_t size)
{
    if (m_handle == kNoHandle) {
        throw SocketError(kSocketErrorNotASocket);
    }
    while (true) {
        const ssize_t got = ::recv(static_cast<int>(m_handle), data, size, 0);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            ThrowErrno();
        }
    }
}

void Socket::ShutdownSend() noexcept
{
    if (m_handle != kNoHandle) {
        ::shutdown(static_cast<int>(m_handle), SHUT_WR);
    }
}

void Socket::Close() noexcept
{
    if (m_handle != kNoHandle) {
        ::close(static_cast<int>(m_handle));
        m_handle = kNoHandle;
    }
}

std::string Socket::LocalAddress() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(static_cast<int>(m_handle), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowErrno();
    }
    return AddressText(sa);
}

int Socket::LocalPort() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(static_cast<int>(m_handle), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowErrno();
    }
    return ntohs(sa.sin_port);
}

std::string Socket::PeerAddress() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(static_cast<int>(m_handle), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowErrno();
    }
    return AddressText(sa);
}

int Socket::PeerPort() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(static_cast<int>(m_handle), reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowErrno();
    }
    return ntohs(sa.sin_port);
}

} // namespace ornel
