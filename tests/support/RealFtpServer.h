// Starts a real FTP server on 127.0.0.1 for interoperability tests and benchmarks
// (pyftpdlib from Debian's python3, or vsftpd as root) and stops it by its PID at the end.
// Created and destroyed on the test thread. Nothing of the host's accounts or configuration
// is touched, and a server whose test process dies (a crash, SIGKILL) is killed with it.
#pragma once

#include "support/LoopbackPort.h"
#include "support/ServerProcess.h"

#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

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
    // masks).
    [[nodiscard]] static std::unique_ptr<RealFtpServer>
    StartDemoServer(const std::filesystem::path& root, const std::string& user = "ornel",
                    const std::string& password = "secret");
    // The demo's server on a slow line: every data transfer throttled to `bytesPerSecond`
    // (0: not throttled).
    [[nodiscard]] static std::unique_ptr<RealFtpServer>
    StartSlowDemoServer(const std::filesystem::path& root, int bytesPerSecond,
                        const std::string& user = "ornel", const std::string& password = "secret");
    // vsftpd (needs root) with one virtual user: `user` and its password (a random one when
    // none is given) are checked by a PAM service file of the server's own, which a private
    // mount namespace shows to vsftpd in place of the host's /etc/pam.d. The sessions run as
    // the account `ftp` that Debian's vsftpd package creates, chrooted into `root`, which is
    // handed to that account (the folders above it must let that account pass). Throws when
    // vsftpd cannot be started.
    [[nodiscard]] static std::unique_ptr<RealFtpServer> StartVsftpd(const std::filesystem::path& root,
                                                                    const std::string& user = "ornel",
                                                                    const std::string& password = {});
    // Why vsftpd cannot be started here (tests skip with it); empty when it can.
    [[nodiscard]] static std::string VsftpdUnavailable();
    // True when /usr/bin/python3 can import pyftpdlib (tests skip otherwise).
    [[nodiscard]] static bool PyftpdlibAvailable();

    ~RealFtpServer();
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] const std::string& User() const { return m_user; }
    [[nodiscard]] const std::string& Password() const { return m_password; }
    [[nodiscard]] const std::filesystem::path& Root() const { return m_root; }
    [[nodiscard]] pid_t Pid() const { return m_process.Pid(); }
    // The server's own output, for a failing test's message.
    [[nodiscard]] std::string Log() const { return m_process.Output(); }

private:
    RealFtpServer() = default;
    // A server object with its folders and a free port, not started yet.
    [[nodiscard]] static std::unique_ptr<RealFtpServer>
    Prepare(const std::filesystem::path& root, const std::string& user, const std::string& password);
    // Runs `argv` and waits for its greeting; its output goes to the work folder.
    void Run(const std::vector<std::string>& argv);

    ServerProcess m_process;
    int m_port = 0;
    std::string m_user;
    std::string m_password;
    std::filesystem::path m_root;
    std::filesystem::path m_workDir;
    int m_workDirLock = -1;
};

} // namespace ornel::test
