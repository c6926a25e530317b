// Starts the demo's FTP server (pyftpdlib with the Windows-1251 wire and mask listings) on
// 127.0.0.1 for the cycle tests and stops it by its PID. Test thread only.
#pragma once

#include "support/ServerProcess.h"

#include <filesystem>
#include <string>

namespace ornel::test
{

class MaskingFtpServer
{
public:
    // Throws when the server does not greet within a few seconds.
    MaskingFtpServer(const std::filesystem::path& root, std::string user, std::string password);
    MaskingFtpServer(const MaskingFtpServer&) = delete;
    MaskingFtpServer& operator=(const MaskingFtpServer&) = delete;

    [[nodiscard]] int Port() const { return m_port; }
    [[nodiscard]] std::string Log() const { return m_process.Output(); }

private:
    int m_port = 0;
    ServerProcess m_process;
};

} // namespace ornel::test
