#include "platform/Environment.h"

#include <cstdlib>

namespace ornel
{

std::optional<std::string> EnvironmentText(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

} // namespace ornel
