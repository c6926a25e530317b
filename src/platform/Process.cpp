// The parts of Process that do not depend on the system.
#include "platform/Process.h"

namespace ornel
{

WindowShow WindowShowOfType(int windowType)
{
    switch (windowType) {
    case 1:
        return WindowShow::Minimized;
    case 2:
        return WindowShow::Maximized;
    case 3:
        return WindowShow::Hidden;
    default:
        return WindowShow::Normal;
    }
}

std::vector<std::string> Process::SplitParameters(std::string_view text)
{
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
            ++i;
        }
        if (i > start) {
            parts.emplace_back(text.substr(start, i - start));
        }
    }
    return parts;
}

} // namespace ornel
