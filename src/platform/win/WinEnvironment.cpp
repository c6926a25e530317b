#include "platform/Environment.h"
#include "platform/win/WideText.h"

#include <cstdlib>

namespace ornel
{

std::optional<std::string> EnvironmentText(const char* name)
{
    const wchar_t* value = _wgetenv(win::Wide(name).c_str());
    if (value == nullptr || *value == L'\0') {
        return std::nullopt;
    }
    return win::Utf8(value);
}

} // namespace ornel
