// The options of a site that exchanges with a test server: its folders under `client`
// (created here), passive mode, no encryption. Tests add what they need beside.
#pragma once

#include "platform/RegistryStore.h"
#include "support/RealFtpServer.h"

#include <filesystem>

namespace ornel::test
{

inline void WriteSiteOptions(RegistryStore& store, const RealFtpServer& server,
                             const std::filesystem::path& client)
{
    for (const char* sub : {"PostBoxOut", "PostBoxIn", "TempSend", "TempReciv", "Arc"}) {
        std::filesystem::create_directories(client / sub);
    }
    auto key = store.OpenKey(Hive::LocalMachine, "SOFTWARE\\RUX\\ORNEL_FTP\\Options");
    key.WriteString("IP", "127.0.0.1");
    key.WriteInteger("Port", server.Port());
    key.WriteString("User", server.User());
    key.WriteString("Password", server.Password());
    key.WriteBool("Passive", true);
    key.WriteString("FtpIn", "In");
    key.WriteString("FtpOut", "Out");
    for (const char* folder : {"PostBoxOut", "PostBoxIn", "TempSend", "TempReciv"}) {
        key.WriteString(folder, (client / folder).string());
    }
    key.WriteString("ArcSend", (client / "Arc").string());
    key.WriteString("ArcReciv", (client / "Arc").string());
    key.WriteBool("NotUseCrypt", true);
}

} // namespace ornel::test
