#include "support/ScriptedFtpServer.h"

#include <algorithm>
#include <sstream>

namespace ornel::test
{

namespace
{

// Every wait of the server is bounded, so that a client that goes wrong ends the test with
// a mismatch instead of a hang.
constexpr std::chrono::milliseconds kStepTimeout{10000};
constexpr std::chrono::milliseconds kSlice{20};

bool Matches(const std::string& pattern, const std::string& line)
{
    if (!pattern.empty() && pattern.back() == '*') {
        return line.rfind(pattern.substr(0, pattern.size() - 1), 0) == 0;
    }
    return line == pattern;
}

} // namespace

ScriptedFtpServer::ScriptedFtpServer()
{
    m_listener = Socket::CreateTcp();
    m_listener.Bind("127.0.0.1", 0);
    m_listener.Listen(4);
    m_port = m_listener.LocalPort();
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

ScriptedFtpServer& ScriptedFtpServer::Reply(const std::string& text)
{
    return SendRaw(text + "\r\n");
}

ScriptedFtpServer& ScriptedFtpServer::SendRaw(const std::string& bytes)
{
    m_steps.emplace_back([this, bytes] { SendText(bytes); });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::Expect(const std::string& line)
{
    m_steps.emplace_back([this, line] {
        std::string got;
        if (!ReadLine(got, kStepTimeout)) {
            Mismatch("expected \"" + line + "\", got nothing");
            return;
        }
        Record(got);
        if (!Matches(line, got)) {
            Mismatch("expected \"" + line + "\", got \"" + got + "\"");
        }
    });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::StandardLogin(const std::string& user, const std::string& password)
{
    return Reply("220 Scripted server ready")
        .On("USER " + user, "331 Password required")
        .On("PASS " + password, "230 Logged in")
        .On("FEAT", "500 Unknown command")
        .On("TYPE I", "200 Type set to I")
        .On("SYST", "215 UNIX Type: L8");
}

ScriptedFtpServer& ScriptedFtpServer::EnterPassive(const std::string& hostFields)
{
    m_steps.emplace_back([this, hostFields] {
        m_dataListener = Socket::CreateTcp();
        m_dataListener.Bind("127.0.0.1", 0);
        m_dataListener.Listen(1);
        const int port = m_dataListener.LocalPort();
        SendText("227 Entering Passive Mode (" + hostFields + "," + std::to_string(port / 256) + "," +
                 std::to_string(port % 256) + ")\r\n");
    });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::EnterPassiveRefused()
{
    m_steps.emplace_back([this] {
        // A port that was just free and is closed again: a connect to it is refused.
        Socket probe = Socket::CreateTcp();
        probe.Bind("127.0.0.1", 0);
        const int port = probe.LocalPort();
        probe.Close();
        SendText("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
                 std::to_string(port % 256) + ")\r\n");
    });
    return *this;
}

Socket ScriptedFtpServer::OpenData(const std::string& fromAddress)
{
    if (m_dataListener.IsOpen()) {
        const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
        bool ready = false;
        while (!m_stop && !ready && std::chrono::steady_clock::now() < deadline) {
            ready = m_dataListener.WaitReadable(kSlice);
        }
        if (!ready) {
            Mismatch("the client did not open the passive data connection");
            return {};
        }
        std::string peer;
        Socket data = m_dataListener.Accept(peer);
        m_dataListener.Close();
        return data;
    }
    std::string port;
    {
        std::lock_guard lock(m_mutex);
        port = m_lastPort;
    }
    if (port.rfind("PORT ", 0) != 0) {
        Mismatch("a data connection was due, but neither PASV nor PORT came before");
        return {};
    }
    std::vector<int> fields;
    std::stringstream text(port.substr(5));
    for (std::string field; std::getline(text, field, ',');) {
        fields.push_back(std::stoi(field));
    }
    if (fields.size() != 6) {
        Mismatch("bad PORT line: " + port);
        return {};
    }
    const std::string host = std::to_string(fields[0]) + "." + std::to_string(fields[1]) + "." +
                             std::to_string(fields[2]) + "." + std::to_string(fields[3]);
    Socket data = Socket::CreateTcp();
    data.Bind(fromAddress, 0);
    data.Connect(host, fields[4] * 256 + fields[5]);
    return data;
}

ScriptedFtpServer& ScriptedFtpServer::SendData(const std::string& content)
{
    m_steps.emplace_back([this, content] {
        Socket data = OpenData();
        std::size_t sent = 0;
        while (data.IsOpen() && sent < content.size()) {
            sent += data.Send(content.data() + sent, content.size() - sent);
        }
        data.ShutdownSend();
    });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::SendDataFrom(const std::string& localAddress,
                                                   const std::string& content)
{
    m_steps.emplace_back([this, localAddress, content] {
        Socket data = OpenData(localAddress);
        if (data.IsOpen() && !content.empty()) {
            static_cast<void>(data.Send(content.data(), content.size()));
        }
    });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::SendDataThenStall(const std::string& content)
{
    m_steps.emplace_back([this, content] {
        Socket data = OpenData();
        if (!data.IsOpen()) {
            return;
        }
        std::size_t sent = 0;
        while (sent < content.size()) {
            sent += data.Send(content.data() + sent, content.size() - sent);
        }
        char byte = 0;
        const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
        while (!m_stop && std::chrono::steady_clock::now() < deadline) {
            if (data.WaitReadable(kSlice) && data.Receive(&byte, 1) == 0) {
                return;
            }
        }
        Mismatch("the client did not give up the stalled data connection");
    });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::HoldDataUnread(std::chrono::milliseconds hold)
{
    m_steps.emplace_back([this, hold] {
        Socket data = OpenData();
        const auto until = std::chrono::steady_clock::now() + hold;
        while (!m_stop && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(kSlice);
        }
    });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::ReceiveData()
{
    m_steps.emplace_back([this] {
        Socket data = OpenData();
        std::string content;
        char block[65536];
        const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
        while (!m_stop && data.IsOpen() && std::chrono::steady_clock::now() < deadline) {
            if (!data.WaitReadable(kSlice)) {
                continue;
            }
            std::size_t got = 0;
            try {
                got = data.Receive(block, sizeof block);
            } catch (const SocketError&) {
                break;
            }
            if (got == 0) {
                break;
            }
            content.append(block, got);
        }
        std::lock_guard lock(m_mutex);
        m_uploads.push_back(std::move(content));
    });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::CloseDataAtOnce()
{
    m_steps.emplace_back([this] { static_cast<void>(OpenData()); });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::Pause(std::chrono::milliseconds pause)
{
    m_steps.emplace_back([pause] { std::this_thread::sleep_for(pause); });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::CloseControl()
{
    m_steps.emplace_back([this] { m_control.Close(); });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::WaitForClientClose()
{
    m_steps.emplace_back([this] {
        std::string line;
        while (ReadLine(line, kStepTimeout)) {
            Record(line);
        }
    });
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::Run(std::function<void()> action)
{
    m_steps.push_back(std::move(action));
    return *this;
}

void ScriptedFtpServer::Start()
{
    m_thread = std::thread([this] { Play(); });
}

void ScriptedFtpServer::Play()
{
    try {
        const auto deadline = std::chrono::steady_clock::now() + kStepTimeout;
        bool ready = false;
        while (!m_stop && !ready && std::chrono::steady_clock::now() < deadline) {
            ready = m_listener.WaitReadable(kSlice);
        }
        if (!ready) {
            Mismatch("the client did not connect");
        } else {
            std::string peer;
            m_control = m_listener.Accept(peer);
            // Replies go out at once: the client under test, not the script, decides the pace.
            m_control.SetNoDelay(true);
            for (const auto& step : m_steps) {
                if (m_stop) {
                    break;
                }
                step();
            }
        }
    } catch (const std::exception& e) {
        Mismatch(std::string("server step failed: ") + e.what());
    }
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_finishedChanged.notify_all();
    // Keep the session up and record whatever else the client says (QUIT, as a rule) until
    // it closes or the test ends.
    try {
        std::string line;
        while (!m_stop && m_control.IsOpen()) {
            if (ReadLine(line, kSlice)) {
                Record(line);
            } else if (!m_control.IsOpen()) {
                break;
            }
        }
    } catch (const std::exception&) {
        // The client reset the connection at the end: nothing left to record.
    }
}

bool ScriptedFtpServer::WaitFinished(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_finishedChanged.wait_for(lock, timeout, [this] { return m_finished; });
}

bool ScriptedFtpServer::ReadLine(std::string& line, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        const std::size_t lf = m_input.find('\n');
        if (lf != std::string::npos) {
            line = m_input.substr(0, lf);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            m_input.erase(0, lf + 1);
            return true;
        }
        if (!m_control.IsOpen() || m_stop || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        if (!m_control.WaitReadable(kSlice)) {
            continue;
        }
        char block[4096];
        std::size_t got = 0;
        try {
            got = m_control.Receive(block, sizeof block);
        } catch (const SocketError&) {
            got = 0;
        }
        if (got == 0) {
            m_control.Close();
            return false;
        }
        m_input.append(block, got);
    }
}

void ScriptedFtpServer::SendText(const std::string& bytes)
{
    std::size_t sent = 0;
    while (m_control.IsOpen() && sent < bytes.size()) {
        const std::size_t n = m_control.Send(bytes.data() + sent, bytes.size() - sent);
        if (n == 0) {
            break;
        }
        sent += n;
    }
}

void ScriptedFtpServer::Record(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    m_received.push_back(line);
    if (line.rfind("PORT ", 0) == 0) {
        m_lastPort = line;
    }
}

void ScriptedFtpServer::Mismatch(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    m_mismatches.push_back(text);
}

std::vector<std::string> ScriptedFtpServer::Received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<std::string> ScriptedFtpServer::Mismatches() const
{
    std::lock_guard lock(m_mutex);
    return m_mismatches;
}

std::vector<std::string> ScriptedFtpServer::Uploads() const
{
    std::lock_guard lock(m_mutex);
    return m_uploads;
}

std::string ScriptedFtpServer::LastPortLine() const
{
    std::lock_guard lock(m_mutex);
    return m_lastPort;
}

} // namespace ornel::test
