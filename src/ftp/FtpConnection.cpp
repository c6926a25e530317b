#include "ftp/FtpConnection.h"

#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"

#include <algorithm>

namespace ornel
{

namespace
{

std::string LookUp(const std::string& host, const FtpConnection::StatusCallback& onStatus)
{
    if (IsDottedQuad(host)) {
        return host;
    }
    if (onStatus) {
        onStatus(FtpStatus::hsResolving, "Resolving hostname " + host + ".");
    }
    if (EqualsNoCase(host, "LOCALHOST")) {
        return "127.0.0.1";
    }
    return ResolveIPv4(host);
}

} // namespace

void ThrowSocketError(int number)
{
    const SocketError error(number);
    if (number == kSocketErrorNotASocket) {
        throw EFtpNotASocket(number, error.what());
    }
    throw EFtpSocketError(number, error.what());
}

FtpConnection::FtpConnection(StatusCallback onStatus)
    : m_onStatus(std::move(onStatus))
{}

FtpConnection::~FtpConnection()
{
    Close();
}

void FtpConnection::Open(const std::string& host, int port)
{
    Close();
    m_input.clear();
    m_closedByPeer = false;
    try {
        Socket socket = Socket::CreateTcp();
        try {
            socket.Bind("", 0);
        } catch (const SocketError&) {
            throw EFtpCouldNotBindSocket();
        }
        socket.SetNoDelay(false);
        const std::string address = LookUp(host, m_onStatus);
        if (m_onStatus) {
            m_onStatus(FtpStatus::hsConnecting, "Connecting to " + address + ".");
        }
        socket.Connect(address, port);
        m_socket = std::move(socket);
        m_receiveWait = std::chrono::milliseconds(0);
        SetSendStall(m_sendStall);
    } catch (const SocketError& e) {
        ThrowSocketError(e.Number());
    }
}

void FtpConnection::Adopt(Socket socket)
{
    Close();
    m_input.clear();
    m_closedByPeer = false;
    m_socket = std::move(socket);
    m_receiveWait = std::chrono::milliseconds(0);
    try {
        SetSendStall(m_sendStall);
    } catch (const SocketError& e) {
        ThrowSocketError(e.Number());
    }
}

void FtpConnection::SetSendStall(std::chrono::milliseconds stall)
{
    m_sendStall = stall;
    if (m_socket.IsOpen()) {
        m_socket.SetSendTimeout(stall);
    }
}

void FtpConnection::Close() noexcept
{
    if (m_socket.IsOpen()) {
        m_socket.ShutdownSend();
        m_socket.Close();
    }
}

void FtpConnection::NoticePeerClose()
{
    m_socket.Close();
    m_closedByPeer = true;
    if (m_onStatus) {
        m_onStatus(FtpStatus::hsDisconnected, "Disconnected.");
    }
}

void FtpConnection::Write(std::string_view bytes)
{
    if (!m_socket.IsOpen()) {
        throw EFtpConnClosedGracefully();
    }
    try {
        while (!bytes.empty()) {
            const std::size_t piece = std::min(bytes.size(), kBlockSize);
            const std::size_t sent = m_socket.Send(bytes.data(), piece);
            if (sent == 0) {
                NoticePeerClose();
                throw EFtpConnClosedGracefully();
            }
            bytes.remove_prefix(sent);
        }
    } catch (const SocketError& e) {
        if (e.Number() == 10035) {
            throw EFtpTimeout("The server took no data for " + DurationText(m_sendStall) + ".");
        }
        ThrowSocketError(e.Number());
    }
}

bool FtpConnection::WaitForRoom(std::chrono::milliseconds wait)
{
    if (!m_socket.IsOpen()) {
        throw EFtpConnClosedGracefully();
    }
    try {
        return m_socket.WaitWritable(wait);
    } catch (const SocketError& e) {
        ThrowSocketError(e.Number());
    }
}

std::int64_t FtpConnection::Unacknowledged() const
{
    return static_cast<std::int64_t>(m_socket.Unacknowledged());
}

bool FtpConnection::Fill()
{
    char block[kBlockSize];
    std::size_t got = 0;
    try {
        got = m_socket.Receive(block, sizeof block);
    } catch (const SocketError& e) {
        ThrowSocketError(e.Number());
    }
    if (got == 0) {
        NoticePeerClose();
        return false;
    }
    m_input.append(block, got);
    return true;
}

std::optional<std::string> FtpConnection::ReadLine(std::chrono::milliseconds wait,
                                                   std::chrono::steady_clock::time_point deadline)
{
    while (true) {
        const std::size_t lf = m_input.find('\n');
        if (lf != std::string::npos) {
            std::size_t end = lf;
            if (end > 0 && m_input[end - 1] == '\r') {
                --end;
            }
            if (end > kMaxLineLength) {
                throw EFtpMaxLineLengthExceeded();
            }
            std::string line = m_input.substr(0, end);
            m_input.erase(0, lf + 1);
            return line;
        }
        // Without a line end in sight the buffer would otherwise grow with whatever the
        // server sends.
        if (m_input.size() > kMaxLineLength) {
            throw EFtpMaxLineLengthExceeded();
        }
        if (!m_socket.IsOpen()) {
            throw EFtpConnClosedGracefully();
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            throw EFtpTimeout("The server's reply did not arrive in time.");
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        bool readable = false;
        try {
            readable = m_socket.WaitReadable(std::min(wait, left + std::chrono::milliseconds(1)));
        } catch (const SocketError& e) {
            ThrowSocketError(e.Number());
        }
        if (!readable) {
            return std::nullopt;
        }
        Fill();
    }
}

bool FtpConnection::Probe()
{
    if (m_socket.IsOpen() && m_input.size() <= kMaxLineLength) {
        try {
            if (m_socket.WaitReadable(std::chrono::milliseconds(0))) {
                Fill();
            }
        } catch (const EFtpSocketError&) {
            // A reset seen by the probe is a close like any other: the answer is "not
            // connected", and the next command reports it.
            NoticePeerClose();
        } catch (const SocketError&) {
            NoticePeerClose();
        }
    }
    return m_socket.IsOpen() || !m_input.empty();
}

bool FtpConnection::WaitForInput(std::chrono::milliseconds wait)
{
    if (!m_input.empty()) {
        return true;
    }
    if (!m_socket.IsOpen()) {
        return false;
    }
    try {
        return m_socket.WaitReadable(wait);
    } catch (const SocketError& e) {
        ThrowSocketError(e.Number());
    }
}

std::optional<std::size_t> FtpConnection::ReceiveInto(char* data, std::size_t size,
                                                      std::chrono::milliseconds wait)
{
    if (!m_input.empty()) {
        const std::size_t n = std::min(size, m_input.size());
        std::copy_n(m_input.data(), n, data);
        m_input.erase(0, n);
        return n;
    }
    if (!m_socket.IsOpen()) {
        return std::size_t{0};
    }
    try {
        // The wait is a socket option rather than a poll before every receive: a transfer
        // then costs one system call per block.
        if (wait != m_receiveWait) {
            m_socket.SetReceiveTimeout(wait);
            m_receiveWait = wait;
        }
        const std::size_t got = m_socket.Receive(data, std::min(size, kBlockSize));
        if (got == 0) {
            NoticePeerClose();
        }
        return got;
    } catch (const SocketError& e) {
        if (e.Number() == 10035) {
            return std::nullopt;
        }
        ThrowSocketError(e.Number());
    }
}

} // namespace ornel
