// Puts a client behind an FtpCallGate for the life of the object (one exchange cycle) and
// routes the client's events through the gate: status changes, the disconnection and the
// start and end of a transfer are delivered to the owner's thread and waited for; the
// byte counts of a transfer are posted. The client's own handlers come back at the end.
// Created and destroyed on the owner's thread while no operation is under way.
#pragma once

#include "ftp/FtpClient.h"

namespace ornel
{

class FtpGateScope
{
public:
    // A null gate leaves the client as it is.
    FtpGateScope(FtpClient& client, FtpCallGate* gate);
    ~FtpGateScope();
    FtpGateScope(const FtpGateScope&) = delete;
    FtpGateScope& operator=(const FtpGateScope&) = delete;

private:
    FtpClient& m_client;
    FtpCallGate* m_gate;
    decltype(FtpClient::OnStatus) m_onStatus;
    decltype(FtpClient::OnDisconnected) m_onDisconnected;
    decltype(FtpClient::OnWorkBegin) m_onWorkBegin;
    decltype(FtpClient::OnWork) m_onWork;
    decltype(FtpClient::OnWorkEnd) m_onWorkEnd;
};

} // namespace ornel
