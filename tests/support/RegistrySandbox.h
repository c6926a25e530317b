// A key of its own under HKEY_CURRENT_USER for a test of the system registry, standing in
// for both hives and removed with everything in it at the end of the test. Windows only.
#pragma once

#include "platform/RegistryStore.h"

#include <string>

namespace ornel::test
{

class RegistrySandbox
{
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // "Software\OrnelFtpTests\<process>-<n>"
    [[nodiscard]] const std::string& Key() const { return m_key; }
    // The key that stands for `hive`, as reg.exe names it.
    [[nodiscard]] std::string HiveKey(Hive hive) const;
    [[nodiscard]] RegistryStore Open() const { return RegistryStore::OpenSystemRegistry(m_key); }

private:
    void Remove() const;
    std::string m_key;
};

} // namespace ornel::test
