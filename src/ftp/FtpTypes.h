// Enumerations and records shared by the FTP client and its owner.
#pragma once

#include <cstdint>
#include <string>

namespace ornel
{

enum class FtpStatus
{
    hsResolving = 0,
    hsConnecting = 1,
    hsConnected = 2,
    hsDisconnecting = 3,
    hsDisconnected = 4,
    hsStatusText = 5,
    ftpTransfer = 6,
    ftpReady = 7,
    ftpAborted = 8,
};

enum class FtpProxyType
{
    fpcmNone = 0,
    fpcmUserSite = 1,
    fpcmSite = 2,
    fpcmOpen = 3,
    fpcmUserPass = 4,
    fpcmTransparent = 5,
    fpcmUserHostFireWallID = 6,
    fpcmNovellBorder = 7,
    fpcmHttpProxyWithFtp = 8,
    fpcmCustomProxy = 9,
};

struct FtpProxySettings
{
    FtpProxyType ProxyType = FtpProxyType::fpcmNone;
    std::string Host;
    int Port = 0;
    std::string UserName;
    std::string Password;

    bool operator==(const FtpProxySettings&) const = default;
};

enum class FtpTransferType
{
    ftASCII,
    ftBinary,
};

enum class WorkMode
{
    wmRead,
    wmWrite,
};

} // namespace ornel
