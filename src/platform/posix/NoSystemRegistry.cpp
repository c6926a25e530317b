// There is no system registry here: the settings live in the file store.
#include "platform/RegistryBackEnd.h"

#include <stdexcept>

namespace ornel::detail
{

std::unique_ptr<RegistryHives> MakeSystemRegistryHives(const std::string&)
{
    throw std::runtime_error("This system has no registry; the settings are kept in a folder");
}

bool SystemRegistryExists()
{
    return false;
}

} // namespace ornel::detail
