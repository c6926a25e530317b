#include "platform/StopRequest.h"

#include <csignal>

namespace ornel
{

namespace
{

void (*g_onStop)() = nullptr;

extern "C" void OnStopSignal(int)
{
    if (g_onStop != nullptr) {
        g_onStop();
    }
}

} // namespace

void InstallStopRequestHandler(void (*onStop)())
{
    g_onStop = onStop;
    struct sigaction action
    {
    };
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

int RunAsSystemService(const std::function<int()>& body)
{
    return body(); // systemd runs the service as a plain process
}

const char* StopRequestText()
{
    return "SIGTERM or SIGINT";
}

} // namespace ornel
