// An IPv4 stream socket with blocking calls and bounded waits, errors reported with the
// Winsock numbers the program's messages use. Move-only owner; one thread at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace ornel
{

// A failed socket call. Number() is the Winsock-style number; the message is
// "Socket Error # %d" CR LF and the text for that number.
class SocketError : public std::runtime_error
{
public:
    explicit SocketError(int number);
    [[nodiscard]] int Number() const { return m_number; }

private:
    int m_number;
};

// Winsock-style numbers used outside the socket calls themselves.
inline constexpr int kSocketErrorNotASocket = 10038;
inline constexpr int kSocketErrorAddressInUse = 10048;
inline constexpr int kSocketErrorHostNotFound = 11001;

// The text of a Winsock-style number ("Connection refused." for 10061); empty when unknown.
[[nodiscard]] std::string SocketErrorText(int number);

// True when `text` is exactly four dot-separated decimal numbers of 0 to 255.
[[nodiscard]] bool IsDottedQuad(const std::string& text);
// The first IPv4 address of a host name in dotted form; throws SocketError 11001 when the
// name is unknown.
[[nodiscard]] std::string ResolveIPv4(const std::string& host);

class Socket
{
public:
    Socket() = default;
    ~Socket();
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // A new IPv4 stream socket.
    [[nodiscard]] static Socket CreateTcp();

    [[nodiscard]] bool IsOpen() const { return m_handle != kNoHandle; }
    // Binds to `address` (dotted quad, empty for any) and `port` (0: the system picks).
    // Throws SocketError; 10048 when the address and port are taken.
    void Bind(const std::string& address, int port);
    void SetNoDelay(bool on);
    // A send that can place no byte for this long fails with 10035 ("Operation would
    // block."), so that a peer that stops reading cannot hold a send forever. 0: no limit.
    void SetSendTimeout(std::chrono::milliseconds timeout);
    // Likewise for Receive: no byte for this long fails it with 10035. 0: no limit.
    void SetReceiveTimeout(std::chrono::milliseconds timeout);
    // Blocking connect to a dotted-quad address, with the system's own time-out.
    void Connect(const std::string& address, int port);
    void Listen(int backlog);
    // Waits up to `timeout` for data, a close or an incoming connection. Negative: forever.
    [[nodiscard]] bool WaitReadable(std::chrono::milliseconds timeout) const;
    // Waits up to `timeout` for room to send (or a failure that Send will report).
    [[nodiscard]] bool WaitWritable(std::chrono::milliseconds timeout) const;
    // Bytes given to Send that the peer has not acknowledged yet; 0 where the system does
    // not tell.
    [[nodiscard]] std::size_t Unacknowledged() const;
    // Accepts one pending connection; `peerAddress` receives its dotted address.
    [[nodiscard]] Socket Accept(std::string& peerAddress);
    // Sends what the socket takes at once (at least one byte unless the peer is gone);
    // returns 0 when the peer has closed.
    [[nodiscard]] std::size_t Send(const char* data, std::size_t size);
    // Receives up to `size` bytes, blocking; 0 means the peer closed its side.
    [[nodiscard]] std::size_t Receive(char* data, std::size_t size);
    void ShutdownSend() noexcept;
    void Close() noexcept;

    [[nodiscard]] std::string LocalAddress() const;
    [[nodiscard]] int LocalPort() const;
    [[nodiscard]] std::string PeerAddress() const;
    [[nodiscard]] int PeerPort() const;

private:
    // The system's descriptor or handle; both fit, and both use all ones for "none".
    using Handle = std::intptr_t;
    static constexpr Handle kNoHandle = -1;
    explicit Socket(Handle handle)
        : m_handle(handle)
    {}
    Handle m_handle = kNoHandle;
};

} // namespace ornel
