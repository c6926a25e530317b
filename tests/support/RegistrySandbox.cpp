#include "support/RegistrySandbox.h"

#include <atomic>
#include <windows.h>

namespace ornel::test
{

RegistrySandbox::RegistrySandbox()
{
    static std::atomic<int> counter{0};
    m_key =
        "Software\\OrnelFtpTests\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    // Process ids come round again: a test that died may have left this very key behind.
    Remove();
}

RegistrySandbox::~RegistrySandbox()
{
    Remove();
}

void RegistrySandbox::Remove() const
{
    const std::wstring key(m_key.begin(), m_key.end()); // ASCII
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

std::string RegistrySandbox::HiveKey(Hive hive) const
{
    return "HKCU\\" + m_key + (hive == Hive::LocalMachine ? "\\HKEY_LOCAL_MACHINE" : "\\HKEY_CURRENT_USER");
}

} // namespace ornel::test
