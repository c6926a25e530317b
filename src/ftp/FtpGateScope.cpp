#include "ftp/FtpGateScope.h"

#include "ftp/FtpCallGate.h"

namespace ornel
{

FtpGateScope::FtpGateScope(FtpClient& client, FtpCallGate* gate)
    : m_client(client)
    , m_gate(gate)
{
    if (m_gate == nullptr) {
        return;
    }
    m_onStatus = m_client.OnStatus;
    m_onDisconnected = m_client.OnDisconnected;
    m_onWorkBegin = m_client.OnWorkBegin;
    m_onWork = m_client.OnWork;
    m_onWorkEnd = m_client.OnWorkEnd;
    // The handlers are copied into the wrappers: each one runs on the owner's thread, while
    // the wrapper itself runs on the gate's.
    if (m_onStatus) {
        m_client.OnStatus = [gate, handler = m_onStatus](FtpStatus status, const std::string& text) {
            gate->Deliver([&] { handler(status, text); });
        };
    }
    if (m_onDisconnected) {
        m_client.OnDisconnected = [gate, handler = m_onDisconnected] { gate->Deliver(handler); };
    }
    if (m_onWorkBegin) {
        m_client.OnWorkBegin = [gate, handler = m_onWorkBegin](WorkMode mode, std::int64_t maximum) {
            gate->Deliver([&] { handler(mode, maximum); });
        };
    }
    if (m_onWork) {
        // A block of data every few microseconds on a fast link: only the latest count
        // matters, and the transfer never waits for the window to take it.
        m_client.OnWork = [gate, handler = m_onWork](WorkMode mode, std::int64_t count) {
            gate->Post([handler, mode, count] { handler(mode, count); });
        };
    }
    if (m_onWorkEnd) {
        m_client.OnWorkEnd = [gate, handler = m_onWorkEnd](WorkMode mode) {
            gate->Deliver([&] { handler(mode); });
        };
    }
    m_client.SetCallGate(m_gate);
}

FtpGateScope::~FtpGateScope()
{
    if (m_gate == nullptr) {
        return;
    }
    m_client.SetCallGate(nullptr);
    m_client.OnStatus = std::move(m_onStatus);
    m_client.OnDisconnected = std::move(m_onDisconnected);
    m_client.OnWorkBegin = std::move(m_onWorkBegin);
    m_client.OnWork = std::move(m_onWork);
    m_client.OnWorkEnd = std::move(m_onWorkEnd);
}

} // namespace ornel
