// The automation that an exchange cycle switches off while it runs and back on after it:
// Timer4 (the schedule), monitoring and the countdown. Owned by TFMain next to the
// Monitoring and Schedule it drives; UI thread only.
//
// Wiring: CycleAutomation(monitoring, *timer4, settings), handed to the cycle as its
// AutomationControl (or called from TFMain's own SuspendForCycle / ResumeAfterCycle).
#pragma once

#include "engine/AutomationControl.h"

namespace ornel
{

class Monitoring;
class Timer;
struct RuntimeSettings;

class CycleAutomation final : public AutomationControl
{
public:
    CycleAutomation(Monitoring& monitoring, Timer& timer4, const RuntimeSettings& settings);

    // Timer4 off, monitoring off (with its log line), the countdown off.
    void SuspendForCycle() override;
    // Monitoring back to the user's choice (AutoRun), then Timer4 on. Timer4 runs again
    // even when the watcher refuses to start; that error is passed on afterwards.
    void ResumeAfterCycle() override;

private:
    Monitoring& m_monitoring;
    Timer& m_timer4;
    const RuntimeSettings& m_settings;
};

} // namespace ornel
