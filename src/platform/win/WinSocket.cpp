// Windows implementation of Socket: Winsock 2, whose error numbers are the ones the
// program's messages carry.
#include "platform/Socket.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace ornel
{

namespace
{

// Winsock is started once for the process and left to the system at its end.
class WinsockStart
{
public:
    WinsockStart()
    {
        WSADATA data{};
        m_error = WSAStartup(MAKEWORD(2, 2), &data);
    }
    [[nodiscard]] int Error() const { return m_error; }

private:
    int m_error = 0;
};

void EnsureWinsock()
{
    static const WinsockStart start;
    if (start.Error() != 0) {
        throw SocketError(start.Error());
    }
}

[[noreturn]] void ThrowLast()
{
    throw SocketError(WSAGetLastError());
}

SOCKET Native(std::intptr_t handle)
{
    return static_cast<SOCKET>(handle);
}

sockaddr_in MakeAddress(const std::string& address, int port)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    if (port < 0 || port > 65535) {
        throw SocketError(WSAEADDRNOTAVAIL);
    }
    sa.sin_port = htons(static_cast<u_short>(port));
    if (address.empty()) {
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        throw SocketError(WSAEADDRNOTAVAIL);
    }
    return sa;
}

std::string AddressText(const sockaddr_in& sa)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
    return text;
}

// Handles are inherited by programs we start unless told otherwise; a connection of ours
// kept open in the encryption program would outlive our own use of it.
void KeepFromChildren(SOCKET s)
{
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

// A send or receive that SO_SNDTIMEO or SO_RCVTIMEO cut short reports 10060 here and
// EAGAIN on POSIX; the program's contract is 10035 for both.
[[noreturn]] void ThrowTransferError()
{
    const int error = WSAGetLastError();
    throw SocketError(error == WSAETIMEDOUT ? WSAEWOULDBLOCK : error);
}

bool WaitFor(std::intptr_t handle, bool forWriting, std::chrono::milliseconds timeout)
{
    if (handle == -1) {
        throw SocketError(kSocketErrorNotASocket);
    }
    const SOCKET s = Native(handle);
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed); // a connect that failed shows here, never as writable
    timeval tv{};
    timeval* limit = nullptr;
    if (timeout.count() >= 0) {
        tv.tv_sec = static_cast<long>(timeout.count() / 1000);
        tv.tv_usec = static_cast<long>((timeout.count() % 1000) * 1000);
        limit = &tv;
    }
    const int rc = forWriting ? ::select(0, nullptr, &ready, &failed, limit)
                              : ::select(0, &ready, nullptr, &failed, limit);
    if (rc == SOCKET_ERROR) {
        ThrowLast();
    }
    return rc > 0;
}

void SetTimeoutOption(std::intptr_t handle, int option, std::chrono::milliseconds timeout)
{
    // Winsock takes milliseconds as a DWORD; it honours the option only on sockets made
    // with WSA_FLAG_OVERLAPPED.
    const DWORD ms = static_cast<DWORD>(std::clamp<std::int64_t>(timeout.count(), 0, MAXDWORD));
    if (::setsockopt(Native(handle), SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms) !=
        0) {
        ThrowLast();
    }
}

} // namespace

std::string ResolveIPv4(const std::string& host)
{
    EnsureWinsock();
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
    EnsureWinsock();
    // WSA_FLAG_OVERLAPPED: without it Winsock ignores SO_RCVTIMEO and SO_SNDTIMEO, and a
    // peer that stops answering would hold a receive for ever. The calls stay blocking.
    const SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (s == INVALID_SOCKET) {
        ThrowLast();
    }
    KeepFromChildren(s);
    return Socket(static_cast<Handle>(s));
}

void Socket::Bind(const std::string& address, int port)
{
    const sockaddr_in sa = MakeAddress(address, port);
    // Without exclusive use Windows lets a second socket bind a port that one listens on.
    const BOOL exclusive = TRUE;
    ::setsockopt(Native(m_handle), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                 sizeof exclusive);
    if (::bind(Native(m_handle), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        ThrowLast();
    }
}

void Socket::SetNoDelay(bool on)
{
    const BOOL value = on ? TRUE : FALSE;
    if (::setsockopt(Native(m_handle), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&value),
                     sizeof value) != 0) {
        ThrowLast();
    }
}

void Socket::SetSendTimeout(std::chrono::milliseconds timeout)
{
    SetTimeoutOption(m_handle, SO_SNDTIMEO, timeout);
}

void Socket::SetReceiveTimeout(std::chrono::milliseconds timeout)
{
    SetTimeoutOption(m_handle, SO_RCVTIMEO, timeout);
}

void Socket::Connect(const std::string& address, int port)
{
    const sockaddr_in sa = MakeAddress(address, port);
    if (::connect(Native(m_handle), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        ThrowLast();
    }
}

void Socket::Listen(int backlog)
{
    if (::listen(Native(m_handle), backlog) != 0) {
        ThrowLast();
    }
}

bool Socket::WaitReadable(std::chrono::milliseconds timeout) const
{
    return WaitFor(m_handle, false, timeout);
}

bool Socket::WaitWritable(std::chrono::milliseconds timeout) const
{
    return WaitFor(m_handle, true, timeout);
}

std::size_t Socket::Unacknowledged() const
{
    return 0; // Winsock does not tell on every version this program runs on
}

Socket Socket::Accept(std::string& peerAddress)
{
    sockaddr_in sa{};
    int len = sizeof sa;
    const SOCKET s = ::accept(Native(m_handle), reinterpret_cast<sockaddr*>(&sa), &len);
    if (s == INVALID_SOCKET) {
        ThrowLast();
    }
    KeepFromChildren(s);
    peerAddress = AddressText(sa);
    return Socket(static_cast<Handle>(s));
}

std::size_t Socket::Send(const char* data, std::size_t size)
{
    if (m_handle == kNoHandle) {
        throw SocketError(kSocketErrorNotASocket);
    }
    const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    const int sent = ::send(Native(m_handle), data, chunk, 0);
    if (sent == SOCKET_ERROR) {
        ThrowTransferError();
    }
    return static_cast<std::size_t>(sent);
}

std::size_t Socket::Receive(char* data, std::size_t size)
{
    if (m_handle == kNoHandle) {
        throw SocketError(kSocketErrorNotASocket);
    }
    const int chunk = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    const int got = ::recv(Native(m_handle), data, chunk, 0);
    if (got == SOCKET_ERROR) {
        ThrowTransferError();
    }
    return static_cast<std::size_t>(got);
}

void Socket::ShutdownSend() noexcept
{
    if (m_handle != kNoHandle) {
        ::shutdown(Native(m_handle), SD_SEND);
    }
}

void Socket::Close() noexcept
{
    if (m_handle != kNoHandle) {
        ::closesocket(Native(m_handle));
        m_handle = kNoHandle;
    }
}

namespace
{

sockaddr_in Name(std::intptr_t handle, bool peer)
{
    sockaddr_in sa{};
    int len = sizeof sa;
    const int rc = peer ? ::getpeername(Native(handle), reinterpret_cast<sockaddr*>(&sa), &len)
                        : ::getsockname(Native(handle), reinterpret_cast<sockaddr*>(&sa), &len);
    if (rc != 0) {
        ThrowLast();
    }
    return sa;
}

} // namespace

std::string Socket::LocalAddress() const
{
    return AddressText(Name(m_handle, false));
}

int Socket::LocalPort() const
{
    return ntohs(Name(m_handle, false).sin_port);
}

std::string Socket::PeerAddress() const
{
    return AddressText(Name(m_handle, true));
}

int Socket::PeerPort() const
{
    return ntohs(Name(m_handle, true).sin_port);
}

} // namespace ornel
