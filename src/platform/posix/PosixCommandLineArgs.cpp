#include "platform/CommandLineArgs.h"

namespace ornel
{

std::vector<std::string> CommandLineArgs(int argc, char** argv)
{
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8Console()
{}

} // namespace ornel
