// What an exchange cycle asks of the automation around it: switch the automatic triggers
// off while it runs and back on afterwards. Implemented by the controller over the
// monitoring and schedule components; UI thread only.
#pragma once

namespace ornel {

class AutomationControl
{
public:
    virtual ~AutomationControl() = default;

    // Start of a cycle: Timer4 off, SetMonitoring(false) (which logs its line), Timer2 off.
    virtual void SuspendForCycle() = 0;
    // End of a cycle: SetMonitoring(AutoRun), Timer4 on.
    virtual void ResumeAfterCycle() = 0;
};

} // namespace ornel
