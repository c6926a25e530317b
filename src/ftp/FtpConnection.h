// One TCP connection of the FTP client (the control connection or a data connection): the
// socket, the bytes received but not consumed yet, and the peer's-close rule. Owned by
// FtpClient; used on its thread only.
#pragma once

#include "ftp/FtpTypes.h"
#include "platform/Socket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ornel
{

class FtpConnection
{
public:
    using StatusCallback = std::function<void(FtpStatus status, const std::string& text)>;

    // Receive calls take at most this much; sends go out in pieces of this size.
    static constexpr std::size_t kBlockSize = 32768;
    // Longest reply line accepted, terminator excluded.
    static constexpr std::size_t kMaxLineLength = 16384;

    explicit FtpConnection(StatusCallback onStatus = {});
    ~FtpConnection();
    FtpConnection(const FtpConnection&) = delete;
    FtpConnection& operator=(const FtpConnection&) = delete;

    // Opens a new socket bound to any local address and port 0 and connects it to `host`
    // (a dotted quad, "localhost" or a name to look up). Throws EFtpSocketError.
    void Open(const std::string& host, int port);
    // Takes over an accepted data connection.
    void Adopt(Socket socket);

    [[nodiscard]] bool IsOpen() const { return m_socket.IsOpen(); }
    [[nodiscard]] bool ClosedByPeer() const { return m_closedByPeer; }
    [[nodiscard]] bool HasBufferedInput() const { return !m_input.empty(); }
    [[nodiscard]] const Socket& RawSocket() const { return m_socket; }

    // Shuts down the sending side, then closes. Reports nothing.
    void Close() noexcept;
    void DiscardInput() noexcept { m_input.clear(); }

    // Sends every byte; a send that takes nothing is the peer's close. A peer that takes no
    // byte for `SetSendStall` fails the write with EFtpTimeout.
    void Write(std::string_view bytes);
    void SetSendStall(std::chrono::milliseconds stall);
    // Waits up to `wait` for room to write more; false while the queue is full.
    [[nodiscard]] bool WaitForRoom(std::chrono::milliseconds wait);
    // Bytes written that the peer has not taken yet.
    [[nodiscard]] std::int64_t Unacknowledged() const;

    // One line without its LF (and a CR right before it). std::nullopt when `wait` passed
    // without data. Throws EFtpMaxLineLengthExceeded, EFtpConnClosedGracefully (the peer
    // closed before the line was complete) or EFtpTimeout once `deadline` has passed.
    [[nodiscard]] std::optional<std::string> ReadLine(std::chrono::milliseconds wait,
                                                      std::chrono::steady_clock::time_point deadline);

    // The zero-wait probe behind FtpClient::Connected: takes in what has arrived and notices
    // a peer's close. True while open or while unread bytes remain.
    [[nodiscard]] bool Probe();
    // True when buffered input exists or data (or the peer's close) arrives within `wait`.
    [[nodiscard]] bool WaitForInput(std::chrono::milliseconds wait);

    // Receives up to `size` bytes straight into `data`, waiting at most `wait` for them.
    // Returns 0 at the peer's close; std::nullopt when the wait ran out.
    [[nodiscard]] std::optional<std::size_t> ReceiveInto(char* data, std::size_t size,
                                                         std::chrono::milliseconds wait);

private:
    // One receive into the input buffer; false at the peer's close.
    bool Fill();
    void NoticePeerClose();

    StatusCallback m_onStatus;
    Socket m_socket;
    std::string m_input;
    bool m_closedByPeer = false;
    std::chrono::milliseconds m_sendStall{0};
    std::chrono::milliseconds m_receiveWait{0};
};

} // namespace ornel
