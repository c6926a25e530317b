// POSIX implementation of Socket: BSD sockets, poll for the waits, errno mapped onto the
// Winsock numbers that the program's messages carry.
#include "platform/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <map>
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

const std::map<int, const char*>& ErrorTexts()
{
    static const std::map<int, const char*> texts = {
        {10004, "Interrupted system call."},
        {10009, "Bad file number."},
        {10013, "Access denied."},
        {10014, "Buffer fault."},
        {10022, "Invalid argument."},
        {10024, "Too many open files."},
        {10035, "Operation would block."},
        {10036, "Operation now in progress."},
        {10037, "Operation already in progress."},
        {10038, "Socket operation on non-socket."},
        {10039, "Destination address required."},
        {10040, "Message too long."},
        {10041, "Protocol wrong type for socket."},
        {10042, "Bad protocol option."},
        {10043, "Protocol not supported."},
        {10044, "Socket type not supported."},
        {10045, "Operation not supported on socket."},
        {10046, "Protocol family not supported."},
        {10047, "Address family not supported by protocol family."},
        {10048, "Address already in use."},
        {10049, "Cannot assign requested address."},
        {10050, "Network is down."},
        {10051, "Network is unreachable."},
        {10052, "Net dropped connection or reset."},
        {10053, "Software caused connection abort."},
        {10054, "Connection reset by peer."},
        {10055, "No buffer space available."},
        {10056, "Socket is already connected."},
        {10057, "Socket is not connected."},
        {10058, "Cannot send or receive after socket is closed."},
        {10059, "Too many references, cannot splice."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10062, "Too many levels of symbolic links."},
        {10063, "File name too long."},
        {10064, "Host is down."},
        {10065, "No route to host."},
        {10066, "Directory not empty"},
        {11001, "Host not found."},
    };
    return texts;
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

SocketError::SocketError(int number)
    : std::runtime_error("Socket Error # " + std::to_string(number) + "\r\n" + SocketErrorText(number))
    , m_number(number)
{}

std::string SocketErrorText(int number)
{
    const auto& texts = ErrorTexts();
    const auto it = texts.find(number);
    return it == texts.end() ? std::string() : std::string(it->second);
}

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

bool IsDottedQuad(const std::string& text)
{
    int parts = 0;
    std::size_t pos = 0;
    while (true) {
        const std::size_t dot = text.find('.', pos);
        const std::string part = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        if (part.empty() || part.size() > 3) {
            return false;
        }
        for (const char c : part) {
            if (c < '0' || c > '9') {
                return false;
            }
        }
        if (std::stoi(part) > 255) {
            return false;
        }
        ++parts;
        if (dot == std::string::npos) {
            break;
        }
        pos = dot + 1;
    }
    return parts == 4;
}

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

Socket::~Socket()
{
    Close();
}

Socket::Socket(Socket&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
{}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        Close();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
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
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        ThrowErrno();
    }
}

void Socket::SetNoDelay(bool on)
{
    const int value = on ? 1 : 0;
    if (::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value) != 0) {
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
    SetTimeoutOption(m_fd, SO_SNDTIMEO, timeout);
}

void Socket::SetReceiveTimeout(std::chrono::milliseconds timeout)
{
    SetTimeoutOption(m_fd, SO_RCVTIMEO, timeout);
}

void Socket::Connect(const std::string& address, int port)
{
    const sockaddr_in sa = MakeAddress(address, port);
    int rc = 0;
    do {
        rc = ::connect(m_fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ThrowErrno();
    }
}

void Socket::Listen(int backlog)
{
    if (::listen(m_fd, backlog) != 0) {
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
    return WaitFor(m_fd, POLLIN, timeout);
}

bool Socket::WaitWritable(std::chrono::milliseconds timeout) const
{
    return WaitFor(m_fd, POLLOUT, timeout);
}

std::size_t Socket::Unacknowledged() const
{
    // The output queue of a TCP socket: written, not yet acknowledged by the peer.
    int queued = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued < 0) {
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
        fd = ::accept4(m_fd, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        ThrowErrno();
    }
    peerAddress = AddressText(sa);
    return Socket(fd);
}

std::size_t Socket::Send(const char* data, std::size_t size)
{
    if (m_fd < 0) {
        throw SocketError(kSocketErrorNotASocket);
    }
    while (true) {
        // MSG_NOSIGNAL: a peer that went away must give an error, not kill the program.
        const ssize_t sent = ::send(m_fd, data, size, MSG_NOSIGNAL);
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
    if (m_fd < 0) {
        throw SocketError(kSocketErrorNotASocket);
    }
    while (true) {
        const ssize_t got = ::recv(m_fd, data, size, 0);
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
    if (m_fd >= 0) {
        ::shutdown(m_fd, SHUT_WR);
    }
}

void Socket::Close() noexcept
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

std::string Socket::LocalAddress() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowErrno();
    }
    return AddressText(sa);
}

int Socket::LocalPort() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowErrno();
    }
    return ntohs(sa.sin_port);
}

std::string Socket::PeerAddress() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowErrno();
    }
    return AddressText(sa);
}

int Socket::PeerPort() const
{
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getpeername(m_fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ThrowErrno();
    }
    return ntohs(sa.sin_port);
}

} // namespace ornel
