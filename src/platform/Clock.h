// The local wall clock as the program sees it. Owned by the application; the core
// asks it for "now" instead of reading the system clock, so tests can move time.
#pragma once

namespace ornel {

class Clock
{
public:
    virtual ~Clock() = default;

    // Current local moment as a date-time double: days since 30 December 1899,
    // time of day as the fraction.
    [[nodiscard]] virtual double Now() const = 0;
};

} // namespace ornel
