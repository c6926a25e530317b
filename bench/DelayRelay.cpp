#include "DelayRelay.h"

#include <arpa/inet.h>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <regex>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace ornel::bench
{

namespace
{

int Listen(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("the relay cannot listen");
    }
    port = ntohs(address.sin_port);
    return fd;
}

int Connect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

// Bytes of one direction with the moment they may go on.
struct Pipe
{
    std::mutex Mutex;
    std::condition_variable Ready;
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::string>> Chunks; // "" = end
};

void WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

DelayRelay::DelayRelay(int serverPort, std::chrono::milliseconds roundTrip)
    : m_serverPort(serverPort)
    , m_delay(roundTrip / 2)
{
    m_listener = Listen(m_port);
    Spawn(std::thread([this] { AcceptControl(); }));
}

DelayRelay::~DelayRelay()
{
    m_stopping = true;
    {
        std::lock_guard lock(m_mutex);
        ::shutdown(m_listener, SHUT_RDWR);
        for (const int fd : m_sockets) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    for (;;) {
        std::thread thread;
        {
            std::lock_guard lock(m_mutex);
            if (m_threads.empty()) {
                break;
            }
            thread = std::move(m_threads.back());
            m_threads.pop_back();
        }
        thread.join();
    }
    std::lock_guard lock(m_mutex);
    for (const int fd : m_sockets) {
        ::close(fd);
    }
    ::close(m_listener);
}

void DelayRelay::Spawn(std::thread thread)
{
    std::lock_guard lock(m_mutex);
    m_threads.push_back(std::move(thread));
}

void DelayRelay::AcceptControl()
{
    while (!m_stopping) {
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            return;
        }
        Serve(client, true, m_serverPort);
    }
}

int DelayRelay::OpenDataListener(int serverPort)
{
    int port = 0;
    const int listener = Listen(port);
    {
        std::lock_guard lock(m_mutex);
        m_sockets.push_back(listener);
    }
    Spawn(std::thread([this, listener, serverPort] {
        pollfd p{listener, POLLIN, 0};
        if (::poll(&p, 1, 30000) != 1) {
            return;
        }
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            Serve(client, false, serverPort);
        }
    }));
    return port;
}

void DelayRelay::Serve(int client, bool control, int serverPort)
{
    const int server = Connect(serverPort);
    {
        std::lock_guard lock(m_mutex);
        m_sockets.push_back(client);
        if (server >= 0) {
            m_sockets.push_back(server);
        }
    }
    if (server < 0) {
        ::shutdown(client, SHUT_RDWR);
        return;
    }
    const int on = 1;
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const auto pump = [this](int from, int to, bool rewrite) {
        auto pipe = std::make_shared<Pipe>();
        // The writer sends each chunk once its delay has passed.
        Spawn(std::thread([pipe, to] {
            for (;;) {
                std::pair<std::chrono::steady_clock::time_point, std::string> chunk;
                {
                    std::unique_lock lock(pipe->Mutex);
                    pipe->Ready.wait(lock, [&] { return !pipe->Chunks.empty(); });
                    chunk = std::move(pipe->Chunks.front());
                    pipe->Chunks.pop_front();
                }
                std::this_thread::sleep_until(chunk.first);
                if (chunk.second.empty()) {
                    ::shutdown(to, SHUT_WR);
                    return;
                }
                WriteAll(to, chunk.second);
            }
        }));
        Spawn(std::thread([this, pipe, from, rewrite] {
            static const std::regex pasv(R"(^227 ([^(]*)\((\d+),(\d+),(\d+),(\d+),(\d+),(\d+)\))");
            static const std::regex epsv(R"(^229 (.*)\(\|\|\|(\d+)\|\))");
            std::string pending;
            char buffer[65536];
            for (;;) {
                const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
                const auto due = std::chrono::steady_clock::now() + m_delay;
                std::string data;
                if (n > 0) {
                    data.assign(buffer, static_cast<std::size_t>(n));
                }
                if (rewrite && n > 0) {
                    // Whole reply lines only, with passive ports turned into relay ports.
                    pending += data;
                    data.clear();
                    std::size_t end;
                    while ((end = pending.find("\r\n")) != std::string::npos) {
                        std::string line = pending.substr(0, end + 2);
                        pending.erase(0, end + 2);
                        std::smatch m;
                        if (std::regex_search(line, m, pasv)) {
                            const int port = OpenDataListener(std::stoi(m[6]) * 256 + std::stoi(m[7]));
                            line = "227 " + m[1].str() + "(127,0,0,1," + std::to_string(port / 256) + "," +
                                   std::to_string(port % 256) + ")\r\n";
                        } else if (std::regex_search(line, m, epsv)) {
                            const int port = OpenDataListener(std::stoi(m[2]));
                            line = "229 " + m[1].str() + "(|||" + std::to_string(port) + "|)\r\n";
                        }
                        data += line;
                    }
                    if (data.empty()) {
                        continue;
                    }
                }
                {
                    std::lock_guard lock(pipe->Mutex);
                    pipe->Chunks.emplace_back(due, n > 0 ? data : std::string());
                }
                pipe->Ready.notify_one();
                if (n <= 0) {
                    return;
                }
            }
        }));
    };
    pump(client, server, false);
    pump(server, client, control);
}

} // namespace ornel::bench
