#include "app/AgentLock.h"

#include "platform/PathText.h"

namespace ornel
{

std::string AlreadyRunningText(const std::filesystem::path& storeFolder, std::int64_t holder)
{
    const std::string pid = holder > 0 ? "PID " + std::to_string(holder) : "PID неизвестен";
    return "Агент Ornel FTP уже работает с папкой настроек " + PathToUtf8(storeFolder) + " (" + pid +
           "). Второй экземпляр не запущен.";
}

} // namespace ornel
