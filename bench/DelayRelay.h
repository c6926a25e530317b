// A TCP relay for an FTP server on 127.0.0.1 that delays everything it carries by half a
// round trip in each direction, as a distant server would. Passive replies (227 and 229) are
// rewritten to data ports of the relay, so the data connections take the same delay. For
// the benchmark only: threads per connection, no limits.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace ornel::bench
{

class DelayRelay
{
public:
    // Listens on a free port of 127.0.0.1 and relays to `serverPort` with `roundTrip` added.
    DelayRelay(int serverPort, std::chrono::milliseconds roundTrip);
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    [[nodiscard]] int Port() const { return m_port; }

private:
    void AcceptControl();
    void Serve(int client, bool control, int serverPort);
    // A listener for one data connection to `serverPort`; returns its port.
    int OpenDataListener(int serverPort);
    void Spawn(std::thread thread);

    int m_serverPort;
    std::chrono::milliseconds m_delay; // one way
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::mutex m_mutex;
    std::vector<std::thread> m_threads;
    std::vector<int> m_sockets; // every socket opened, shut down at the end
};

} // namespace ornel::bench
