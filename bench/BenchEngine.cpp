#include "BenchEngine.h"

#include <thread>

namespace ornel::bench
{

void BenchLoop::WaitForEvents(std::chrono::milliseconds timeout)
{
    std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(1)));
}

void TimingGate::Run(const std::function<void()>& operation)
{
    const auto start = std::chrono::steady_clock::now();
    m_inside = true;
    try {
        operation();
    } catch (...) {
        m_inside = false;
        m_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        throw;
    }
    m_inside = false;
    m_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

BenchEngine::BenchEngine(const std::filesystem::path& base, int port, const std::string& user,
                         const std::string& password, const std::string& ftpIn, const std::string& ftpOut)
    : registry(base / "registry")
{
    std::filesystem::create_directories(base / "work");
    log.Open(base / "work");
    Journal::Create(base / "ornel_ftp.db");
    journal.Open(base / "ornel_ftp.db");
    settings.ShowBallonHint = false;
    settings.NotUseCrypt = true;
    settings.IP = "127.0.0.1";
    settings.Port = port;
    settings.User = user;
    settings.Password = password;
    settings.Passive = true;
    settings.PostBoxOut = (base / "PostBoxOut").string();
    settings.PostBoxIn = (base / "PostBoxIn").string();
    std::filesystem::create_directories(settings.PostBoxOut);
    std::filesystem::create_directories(settings.PostBoxIn);
    layout.SetFtpIn(ftpIn);
    layout.SetFtpOut(ftpOut);
    layout.SetTempSend((base / "TempSend").string());
    layout.SetTempReciv((base / "TempReciv").string());
    layout.SetArcSend((base / "Arc/ReceivedEncrypted").string());
    layout.SetArcReciv((base / "Arc/SentEncrypted").string());
    layout.SetArcSend2((base / "Arc/Received").string());
    layout.SetArcReciv2((base / "Arc/Sent").string());
    cycle.BindFtpEvents();
    ftp.SetCallGate(&gate);
}

BenchEngine::~BenchEngine()
{
    ftp.SetCallGate(nullptr);
    journal.Close();
}

} // namespace ornel::bench
