#include "engine/MaskingFtpServer.h"

#include "support/RealFtpServer.h"

#include <vector>

namespace ornel::test
{

MaskingFtpServer::MaskingFtpServer(const std::filesystem::path& root, std::string user, std::string password)
    : m_port(FreeLoopbackPort())
{
    const int low = 20000 + (m_port * 7) % 40000;
    m_process =
        ServerProcess({"/usr/bin/python3", ORNEL_DEMO_FTPD, "--port", std::to_string(m_port), "--root",
                       root.string(), "--user", std::move(user), "--password", std::move(password),
                       "--passive", std::to_string(low) + "-" + std::to_string(low + 99)},
                      root.parent_path() / ("ftp-server-" + std::to_string(m_port) + ".log"), m_port);
}

} // namespace ornel::test
