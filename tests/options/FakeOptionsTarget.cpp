#include "FakeOptionsTarget.h"

#include "settings/SecretCipher.h"

#include <stdexcept>

namespace ornel::test
{

FakeOptionsTarget::FakeOptionsTarget(const std::filesystem::path& registryFolder)
    : m_store(registryFolder)
{}

std::string FakeOptionsTarget::EncryptSecret(const std::string& text) const
{
    return ornel::EncryptSecret(text);
}

std::string FakeOptionsTarget::DecryptSecret(const std::string& stored) const
{
    return ornel::DecryptSecret(stored);
}

void FakeOptionsTarget::Record(const std::string& name, const std::string& value)
{
    Calls.push_back("Set" + name + "=" + value);
    if (FailingSetters.count(name) != 0) {
        throw std::runtime_error("Cannot take " + name);
    }
}

void FakeOptionsTarget::ApplyProxySettings(bool useProxy, int proxyRow, const std::string& host, int port,
                                           const std::string& user, const std::string& password)
{
    Calls.push_back("Proxy=" + std::string(useProxy ? "1" : "0") + "," + std::to_string(proxyRow) + "," +
                    host + "," + std::to_string(port) + "," + user + "," + password);
}

void FakeOptionsTarget::ReloadSchedule()
{
    Calls.push_back("ReloadSchedule");
}

void FakeOptionsTarget::ConnectFtp()
{
    Calls.push_back("ConnectFtp");
    if (OnConnect) {
        OnConnect();
    }
}

void FakeOptionsTarget::ShowInformation(const std::string& caption, const std::string& text)
{
    InformationBoxes.push_back(caption + ": " + text);
}

std::vector<std::string> FakeOptionsTarget::SetterOrder() const
{
    std::vector<std::string> names;
    for (const std::string& call : Calls) {
        if (call.rfind("Set", 0) == 0) {
            names.push_back(call.substr(3, call.find('=') - 3));
        }
    }
    return names;
}

std::string FakeOptionsTarget::Handed(const std::string& name) const
{
    std::string value;
    const std::string prefix = "Set" + name + "=";
    for (const std::string& call : Calls) {
        if (call.rfind(prefix, 0) == 0) {
            value = call.substr(prefix.size());
        }
    }
    return value;
}

} // namespace ornel::test
