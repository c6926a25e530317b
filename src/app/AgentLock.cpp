#include "app/AgentLock.h"

namespace ornel
{

std::string AlreadyRunningText(const std::filesystem::path& storeFolder, std::int64_t holder)
{
    const std::string pid = holder > 0 ? "PID " + std::to_string(holder) : "PID неизвестен";
    return "Агент Ornel FTP уже работает с папкой настроек " + storeFolder.string() + " (" + pid +
           "). Второй экземпляр не запущен.";
}

} // namespace ornel
