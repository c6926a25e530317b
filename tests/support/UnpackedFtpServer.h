// pure-ftpd and ProFTPD for interoperability tests, run from Debian's packages unpacked into
// the build folder (scripts/fetch-ftp-servers.sh) on 127.0.0.1. Each has one virtual account
// in files of the test's own and serves a folder handed to the unprivileged "nobody" user; the
// host's accounts and configuration stay untouched. Test thread only.
#pragma once

#include "support/ServerProcess.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <memory>
#include <string>

namespace ornel::test
{

class UnpackedFtpServer
{
public:
    enum class Kind
    {
        PureFtpd,
        Proftpd,
    };

    // Why `kind` cannot run here: not root (both servers change root and user), or the
    // packages are not unpacked in `unpacked`. Empty when it can.
    [[nodiscard]] static std::string Missing(Kind kind, const std::filesystem::path& unpacked);
    // Serves `root` (given to "nobody" with everything in it) as the account's home and
    // chroot, on a free port; throws with the server's output when it does not greet.
    [[nodiscard]] static std::unique_ptr<UnpackedFtpServer>
    Start(Kind kind, const std::filesystem::path& unpacked, const std::filesystem::path& root);

    ~UnpackedFtpServer();
    UnpackedFtpServer(const UnpackedFtpServer&) = delete;
    UnpackedFtpServer& operator=(const UnpackedFtpServer&) = delete;

    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] const std::string& User() const { return m_user; }
    [[nodiscard]] const std::string& Password() const { return m_password; }
    // The server's own output and logs, for a failing test's message.
    [[nodiscard]] std::string Log() const;

private:
    UnpackedFtpServer() = default;
    void StartPureFtpd(const std::filesystem::path& unpacked, const std::filesystem::path& root);
    void StartProftpd(const std::filesystem::path& unpacked, const std::filesystem::path& root);

    int m_port = 0;
    std::string m_user = "ornel";
    std::string m_password = "ornel-secret";
    // Configuration, account files and logs; the process goes first, then this folder.
    TempFolder m_work;
    ServerProcess m_process;
};

} // namespace ornel::test
