// Starts a real FTP server on 127.0.0.1 for interoperability tests and benchmarks
// (pyftpdlib from Debian's python3, or vsftpd as root) and stops it by its PID at the end.
// Created and destroyed on the test thread.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>

namespace ornel::test
{

class RealFtpServer
{
public:
    // pyftpdlib serving `root` with write access for one account, on a free port.
    [[nodiscard]] static std::unique_ptr<RealFtpServer>
    StartPyftpdlib(const std::filesystem::path& root, const std::string& user = "ornel",
                   const std::string& password = "secret");
    // The demo's server (scripts/demo_ftpd.py: pyftpdlib with the Windows-1251 wire and file
    // masks) on a slow line: every data transfer throttled to `bytesPerSecond`.
    [[nodiscard]] static std::unique_ptr<RealFtpServer>
    StartSlowDemoServer(const std::filesystem::path& root, int bytesPerSecond,
                        const std::string& user = "ornel", const std::string& password = "secret");
    // vsftpd (needs root): a local account `user` is created or updated (servers started at
    // the same time for one account must use one password), `root` is handed to it and
    // served as its root. Throws when vsftpd cannot be started.
    [[nodiscard]] static std::unique_ptr<RealFtpServer>
    StartVsftpd(const std::filesystem::path& root, const std::string& user = "ornelftp",
                const std::string& password = "ornel-secret");
    // True when /usr/bin/python3 can import pyftpdlib (tests skip otherwise).
    [[nodiscard]] static bool PyftpdlibAvailable();

    ~RealFtpServer();
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] const std::string& User() const { return m_user; }
    [[nodiscard]] const std::string& Password() const { return m_password; }
    [[nodiscard]] const std::filesystem::path& Root() const { return m_root; }
    [[nodiscard]] pid_t Pid() const { return m_pid; }
    // The server's own output, for a failing test's message.
    [[nodiscard]] std::string Log() const;

private:
    RealFtpServer() = default;
    // A server object with its folders and a free port, not started yet.
    [[nodiscard]] static std::unique_ptr<RealFtpServer>
    Prepare(const std::filesystem::path& root, const std::string& user, const std::string& password);
    void WaitUntilAccepting();

    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_user;
    std::string m_password;
    std::filesystem::path m_root;
    std::filesystem::path m_workDir;
};

// A port on 127.0.0.1 that was free a moment ago.
[[nodiscard]] int FreeLoopbackPort();

} // namespace ornel::test
