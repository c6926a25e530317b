#include "engine/MaskingFtpServer.h"

#include "platform/Socket.h"
#include "support/RealFtpServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>

namespace ornel::test
{

namespace
{

constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr auto kStopTimeout = std::chrono::seconds(5);
constexpr auto kPollStep = std::chrono::milliseconds(50);

bool Greets(int port)
{
    try {
        Socket probe = Socket::CreateTcp();
        probe.Connect("127.0.0.1", port);
        if (probe.WaitReadable(std::chrono::seconds(2))) {
            char buffer[4] = {};
            return probe.Receive(buffer, 3) == 3 && std::string(buffer, 3) == "220";
        }
    } catch (const SocketError&) {
        // not listening yet
    }
    return false;
}

} // namespace

MaskingFtpServer::MaskingFtpServer(const std::filesystem::path& root, std::string user, std::string password)
    : m_port(FreeLoopbackPort())
    , m_log(root.parent_path() / ("ftp-server-" + std::to_string(m_port) + ".log"))
{
    const int low = 20000 + (m_port * 7) % 40000;
    const std::vector<std::string> argv = {
        "/usr/bin/python3", ORNEL_DEMO_FTPD,
        "--port",           std::to_string(m_port),
        "--root",           root.string(),
        "--user",           std::move(user),
        "--password",       std::move(password),
        "--passive",        std::to_string(low) + "-" + std::to_string(low + 99)};
    m_pid = SpawnServer(argv, m_log);
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("the demo FTP server ended at start: " + Log());
        }
        if (Greets(m_port)) {
            return;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    throw std::runtime_error("the demo FTP server did not greet: " + Log());
}

MaskingFtpServer::~MaskingFtpServer()
{
    if (m_pid <= 0) {
        return;
    }
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(kPollStep);
    }
}

std::string MaskingFtpServer::Log() const
{
    std::ifstream in(m_log);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace ornel::test
