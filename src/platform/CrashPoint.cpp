#include "platform/CrashPoint.h"

#include <atomic>
#include <cstdlib>
#include <string>

namespace ornel
{

namespace
{

std::atomic<void (*)(std::string_view)> g_hook{nullptr};

struct Target
{
    std::string Name;
    long Passage = 1;
};

// Read once: the variable belongs to the run, not to a moment of it.
const Target& CrashTarget()
{
    static const Target target = [] {
        Target t;
        const char* text = std::getenv(kCrashAtVariable);
        if (text == nullptr) {
            return t;
        }
        t.Name = text;
        if (const auto colon = t.Name.rfind(':'); colon != std::string::npos) {
            t.Passage = std::strtol(t.Name.c_str() + colon + 1, nullptr, 10);
            t.Name.resize(colon);
        }
        return t;
    }();
    return target;
}

} // namespace

void CrashPoint(std::string_view name)
{
    if (const auto hook = g_hook.load()) {
        hook(name);
    }
    const Target& target = CrashTarget();
    if (target.Name.empty() || target.Name != name) {
        return;
    }
    static std::atomic<long> passed{0};
    if (passed.fetch_add(1) + 1 == target.Passage) {
        KillThisProcess();
    }
}

void SetCrashPointHookForTesting(void (*hook)(std::string_view name))
{
    g_hook.store(hook);
}

} // namespace ornel
