#include "automation/CycleAutomation.h"

#include "automation/Monitoring.h"
#include "platform/Timer.h"
#include "settings/RuntimeSettings.h"

namespace ornel
{

CycleAutomation::CycleAutomation(Monitoring& monitoring, Timer& timer4, const RuntimeSettings& settings)
    : m_monitoring(monitoring)
    , m_timer4(timer4)
    , m_settings(settings)
{}

void CycleAutomation::SuspendForCycle()
{
    m_timer4.SetEnabled(false);
    m_monitoring.SetMonitoring(false);
    m_monitoring.StopCountdown();
}

void CycleAutomation::ResumeAfterCycle()
{
    // Without Timer4 the schedule would never be looked at again, so it is restarted
    // whatever switching monitoring on ran into.
    struct EnableTimer4
    {
        Timer& timer;
        ~EnableTimer4() { timer.SetEnabled(true); }
    } enable{m_timer4};
    m_monitoring.SetMonitoring(m_settings.AutoRun);
}

} // namespace ornel
