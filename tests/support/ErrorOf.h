// The message of the std::runtime_error an action throws, or "no error", for tests that
// compare user-visible error texts.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace ornel::test
{

inline std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "no error";
}

} // namespace ornel::test
