#include "platform/SystemClock.h"

#include "platform/DateTime.h"

#include <chrono>

namespace ornel
{

double SystemClock::Now() const
{
    return ToDateTime(std::chrono::system_clock::now());
}

} // namespace ornel
