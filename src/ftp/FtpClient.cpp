#include "ftp/FtpClient.h"

#include "ftp/FtpCallGate.h"
#include "ftp/FtpConnection.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"
#include "platform/CodePage.h"

namespace ornel
{

namespace
{

// Together these bound a reply that never ends: beyond them the reply fails instead of
// filling memory.
constexpr std::size_t kMaxReplyLines = 10000;
constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

} // namespace

FtpClient::FtpClient()
    : m_control(std::make_unique<FtpConnection>(
          [this](FtpStatus status, const std::string& text) { Status(status, text); }))
{}

FtpClient::~FtpClient() = default;

void FtpClient::SetHost(std::string host)
{
    m_host = std::move(host);
}

void FtpClient::SetPort(int port)
{
    m_port = port;
}

void FtpClient::SetUsername(std::string user)
{
    m_username = std::move(user);
}

void FtpClient::SetPassword(std::string password)
{
    m_password = std::move(password);
}

void FtpClient::SetPassive(bool passive)
{
    m_passive = passive;
}

void FtpClient::SetProxySettings(const FtpProxySettings& proxy)
{
    m_proxy = proxy;
}

const FtpProxySettings& FtpClient::ProxySettings() const
{
    return m_proxy;
}

void FtpClient::SetReadTimeout(std::chrono::milliseconds timeout)
{
    m_readTimeout = timeout;
}

void FtpClient::Status(FtpStatus status, const std::string& text) const
{
    if (OnStatus) {
        OnStatus(status, text);
    }
}

FtpClient::Endpoint FtpClient::ControlEndpoint() const
{
    const bool viaProxy =
        m_proxy.ProxyType != FtpProxyType::fpcmNone && m_proxy.ProxyType != FtpProxyType::fpcmTransparent;
    if (viaProxy && !m_proxy.Host.empty()) {
        return {m_proxy.Host, m_proxy.Port};
    }
    return {m_host, m_port};
}

void FtpClient::OpenControlConnection()
{
    const Endpoint endpoint = ControlEndpoint();
    // The connection object lives as long as the client and is reopened for each session, so
    // that a status handler that reconnects can never pull it from under a running read.
    m_hasConnection = true;
    try {
        m_control->SetSendStall(m_replyTimeout);
        m_control->Open(endpoint.host, endpoint.port);
        m_controlLocal = m_control->RawSocket().LocalAddress();
        m_controlPeer = m_control->RawSocket().PeerAddress();
    } catch (const SocketError& e) {
        m_control->Close();
        m_hasConnection = false;
        ThrowSocketError(e.Number());
    } catch (...) {
        m_control->Close();
        m_hasConnection = false;
        throw;
    }
    Status(FtpStatus::hsConnected, "Connected.");
}

bool FtpClient::Gated(const std::function<void()>& call)
{
    if (m_gate == nullptr || m_gate->OnCallThread()) {
        return false;
    }
    m_gate->Run(call);
    return true;
}

void FtpClient::RunOnCallThread(const std::function<void()>& work)
{
    if (!Gated(work)) {
        work();
    }
}

bool FtpClient::Connected()
{
    bool connected{};
    if (Gated([&] { connected = Connected(); })) {
        return connected;
    }
    return m_hasConnection && m_control->Probe();
}

void FtpClient::Connect()
{
    if (Gated([&] { Connect(); })) {
        return;
    }
    // These refusals come before anything is opened, so there is nothing to close: an
    // established connection in particular stays as it is.
    if (Connected()) {
        throw EFtpAlreadyConnected();
    }
    if (m_host.empty()) {
        throw EFtpHostRequired();
    }
    if (m_port == 0) {
        throw EFtpPortRequired();
    }
    m_lastReply = {};
    m_greeting = {};
    m_featureList.clear();
    m_serverSystem.clear();
    OpenControlConnection();
    try {
        ReadReply({220});
        m_greeting = m_lastReply;
        if (m_autoLogin) {
            Login();
            Status(FtpStatus::ftpReady, "Connection established");
        }
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
            // The caller is told why the connect failed; a failing QUIT adds nothing to that.
        }
        throw;
    }
}

void FtpClient::Disconnect()
{
    if (Gated([&] { Disconnect(); })) {
        return;
    }
    std::exception_ptr failure;
    try {
        if (Connected()) {
            WriteCommand("QUIT");
            if (m_control->WaitForInput(m_quitWait)) {
                ReadReply();
            }
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (m_hasConnection && m_control->IsOpen()) {
        Status(FtpStatus::hsDisconnecting, "Disconnecting.");
        m_control->Close();
        if (OnDisconnected) {
            OnDisconnected();
        }
        Status(FtpStatus::hsDisconnected, "Disconnected.");
    }
    // Whatever the server sent before it went away belongs to the old session; kept, it
    // would make Connected() true and every later Connect fail with "Already connected."
    m_control->DiscardInput();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

std::string FtpClient::EncodeCommand(const std::string& command, bool secret)
{
    if (command.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        const std::string shown = secret ? command.substr(0, 4)
                                         : command.substr(0, command.find_first_of(std::string("\r\n\0", 3)));
        throw EFtpInvalidArgument("The command \"" + shown +
                                  "...\" holds a line break or NUL and is not sent.");
    }
    try {
        return Utf8ToCp1251(command);
    } catch (const std::exception& e) {
        if (secret) {
            throw EFtpInvalidArgument("A secret holds a character that cannot be sent to the server.");
        }
        throw EFtpInvalidArgument("\"" + command + "\" cannot be sent to the server: " + e.what());
    }
}

void FtpClient::WriteCommand(const std::string& command)
{
    const bool secret = command.rfind("PASS ", 0) == 0 || command.rfind("ACCT ", 0) == 0;
    const std::string bytes = EncodeCommand(command, secret) + "\r\n";
    if (!m_hasConnection) {
        throw EFtpNotConnected();
    }
    m_control->Write(bytes);
}

int FtpClient::SendCommand(const std::string& command, const std::set<int>& accepted)
{
    int code{};
    if (Gated([&] { code = SendCommand(command, accepted); })) {
        return code;
    }
    if (!m_hasConnection) {
        throw EFtpNotConnected();
    }
    WriteCommand(command);
    return ReadReply(accepted);
}

std::string FtpClient::NextReplyLine(std::chrono::steady_clock::time_point deadline)
{
    try {
        // A read wait of 0 would spin; it stands for one wait as long as the whole reply wait.
        const auto wait = m_readTimeout.count() > 0 ? m_readTimeout : m_replyTimeout;
        return m_control->ReadLine(wait, deadline).value_or(std::string());
    } catch (const EFtpTimeout&) {
        throw EFtpTimeout("No reply from the server within " + DurationText(m_replyTimeout) + ".");
    }
}

int FtpClient::ReadReply(const std::set<int>& accepted)
{
    int gatedCode{};
    if (Gated([&] { gatedCode = ReadReply(accepted); })) {
        return gatedCode;
    }
    if (!m_hasConnection) {
        throw EFtpNotConnected();
    }
    const auto deadline = std::chrono::steady_clock::now() + m_replyTimeout;
    std::vector<std::string> lines;
    std::string line;
    do {
        line = NextReplyLine(deadline);
    } while (Trim(line).empty());
    // A first line without a valid code fails at once: waiting for an end line after it
    // would only wait for a reply that is not coming in this form.
    static_cast<void>(ReplyCodeOf(line));
    std::size_t bytes = line.size();
    lines.push_back(Cp1251ToUtf8(line));
    while (!IsReplyEndLine(line)) {
        line = NextReplyLine(deadline);
        bytes += line.size() + 1;
        if (lines.size() >= kMaxReplyLines || bytes > kMaxReplyBytes) {
            throw EFtpReplyTooLong("The server's reply is too long (more than " +
                                   std::to_string(kMaxReplyLines) + " lines or " +
                                   std::to_string(kMaxReplyBytes) + " bytes).");
        }
        lines.push_back(Cp1251ToUtf8(line));
    }
    m_lastReply = BuildReply(lines);
    const int code = m_lastReply.NumericCode();
    if (!accepted.empty() && accepted.count(code) == 0) {
        throw EFtpReplyError(code, m_lastReply.Message());
    }
    return code;
}

bool FtpClient::IsFeatureOffered(const std::string& feature) const
{
    const std::string name = UpperAscii(feature);
    for (const auto& entry : m_featureList) {
        const std::string line = TrimLeft(entry);
        if (line.substr(0, line.find(' ')) == name) {
            return true;
        }
    }
    return false;
}

void FtpClient::CheckArgument(const std::string& command)
{
    static_cast<void>(EncodeCommand(command, false));
}

void FtpClient::ChangeDir(const std::string& dir)
{
    SendCommand("CWD " + dir, {200, 250});
}

void FtpClient::ChangeDirUp()
{
    SendCommand("CDUP", {200, 250});
}

void FtpClient::Noop()
{
    SendCommand("NOOP", {200});
}

void FtpClient::Delete(const std::string& name)
{
    SendCommand("DELE " + name, {250});
}

std::int64_t FtpClient::Size(const std::string& name)
{
    if (SendCommand("SIZE " + name) != 213) {
        return -1;
    }
    std::string text = Trim(m_lastReply.JoinedText());
    const std::size_t blank = text.find(' ');
    if (blank != std::string::npos) {
        text.erase(0, blank + 1);
    }
    return TryParseInt(text).value_or(-1);
}

} // namespace ornel
