// A loopback FTP server that plays a script: it expects the client's command lines in order,
// answers with given replies, serves and accepts data connections, and can go silent or
// close at any step. Built on the test thread; the script runs on a thread of its own.
#pragma once

#include "platform/Socket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ornel::test
{

class ScriptedFtpServer
{
public:
    ScriptedFtpServer();
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    // The control port on 127.0.0.1.
    [[nodiscard]] int Port() const { return m_port; }

    // Script steps, played in order once Start() has been called.
    // Sends `text` followed by CR LF (embed CR LF for a multi-line reply).
    ScriptedFtpServer& Reply(const std::string& text);
    // Sends bytes exactly as given.
    ScriptedFtpServer& SendRaw(const std::string& bytes);
    // Reads one command line and records it; a line other than `line` is a mismatch. A
    // `line` ending in "*" matches every line that starts with the rest.
    ScriptedFtpServer& Expect(const std::string& line);
    ScriptedFtpServer& On(const std::string& line, const std::string& reply)
    {
        return Expect(line).Reply(reply);
    }
    // Greeting 220, USER, PASS, FEAT (no features), TYPE I, SYST.
    ScriptedFtpServer& StandardLogin(const std::string& user = "user", const std::string& password = "pass");
    // Opens a data listener and answers "227 Entering Passive Mode (127,0,0,1,p1,p2)". With
    // `hostFields` ("10,0,0,7") the reply names that host with the real listener port.
    ScriptedFtpServer& EnterPassive(const std::string& hostFields = "127,0,0,1");
    // Answers 227 with a port on which nobody listens (the client's connect is refused).
    ScriptedFtpServer& EnterPassiveRefused();
    // Opens the data connection (accepts the passive one, or connects to the address of the
    // last PORT line), sends `content` and closes it.
    ScriptedFtpServer& SendData(const std::string& content);
    // Connects to the last PORT address from `localAddress` (say 127.0.0.2), sends
    // `content` and closes: a stranger's connection to the client's data port.
    ScriptedFtpServer& SendDataFrom(const std::string& localAddress, const std::string& content);
    // Opens the data connection, sends `content`, then keeps it open without a byte more
    // until the client closes it.
    ScriptedFtpServer& SendDataThenStall(const std::string& content);
    // Opens the data connection and holds it for `hold` without reading a byte, then
    // closes it: a server that stops taking an upload.
    ScriptedFtpServer& HoldDataUnread(std::chrono::milliseconds hold);
    // Opens the data connection and reads it to the client's close; see Uploads().
    ScriptedFtpServer& ReceiveData();
    // Opens the data connection and closes it at once.
    ScriptedFtpServer& CloseDataAtOnce();
    // Stays silent for `pause` (the client's wait for a reply runs meanwhile).
    ScriptedFtpServer& Pause(std::chrono::milliseconds pause);
    ScriptedFtpServer& CloseControl();
    // Reads and records lines until the client closes the control connection.
    ScriptedFtpServer& WaitForClientClose();
    // Runs `action` on the server thread (for checks that need the script's timing).
    ScriptedFtpServer& Run(std::function<void()> action);

    void Start();
    // Waits until the script has been played (bounded); false when it did not finish.
    [[nodiscard]] bool WaitFinished(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Every command line received, in order (including those after the script ended).
    [[nodiscard]] std::vector<std::string> Received() const;
    // One text per expectation that was not met; empty when the client followed the script.
    [[nodiscard]] std::vector<std::string> Mismatches() const;
    // The content of each data connection read by ReceiveData, in order.
    [[nodiscard]] std::vector<std::string> Uploads() const;
    // The last PORT line received ("PORT h1,h2,h3,h4,p1,p2"), empty before any.
    [[nodiscard]] std::string LastPortLine() const;

private:
    using Step = std::function<void()>;

    void Play();
    [[nodiscard]] bool ReadLine(std::string& line, std::chrono::milliseconds timeout);
    void SendText(const std::string& bytes);
    Socket OpenData(const std::string& fromAddress = {});
    void Record(const std::string& line);
    void Mismatch(const std::string& text);

    Socket m_listener;
    int m_port = 0;
    Socket m_control;
    Socket m_dataListener;
    std::string m_input;
    std::vector<Step> m_steps;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_finishedChanged;
    bool m_finished = false;
    std::vector<std::string> m_received;
    std::vector<std::string> m_mismatches;
    std::vector<std::string> m_uploads;
    std::string m_lastPort;
};

} // namespace ornel::test
