// The real local wall clock. Created by the application and handed to the core as Clock.
#pragma once

#include "platform/Clock.h"

namespace ornel {

class SystemClock final : public Clock
{
public:
    [[nodiscard]] double Now() const override;
};

} // namespace ornel
