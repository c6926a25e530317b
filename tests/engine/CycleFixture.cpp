#include "engine/CycleFixture.h"

#include "platform/DateTime.h"
#include "platform/PathText.h"

#include <algorithm>

namespace ornel::test
{

namespace
{

std::string MonitoringLine(const Clock& clock, bool on)
{
    const std::string state = on ? "включен" : "выключен";
    return FormatDateTime("hh:nn:ss", clock.Now()) + " Мониторинг: FTP " + state + ", Каталога PostBox " +
           state;
}

} // namespace

void RecordingAutomation::SuspendForCycle()
{
    Calls.push_back("Suspend");
    m_log.AddLog(MonitoringLine(m_clock, false));
}

void RecordingAutomation::ResumeAfterCycle()
{
    Calls.push_back("Resume");
    m_log.AddLog(MonitoringLine(m_clock, AutoRun));
}

CycleFixture::CycleFixture()
{
    const auto folder = [this](const std::string& name) {
        const std::filesystem::path p = root / name;
        std::filesystem::create_directories(p);
        return p;
    };
    postBoxOut = folder("PostBox/Out");
    postBoxIn = folder("PostBox/In");
    tempSend = root / "Temp/Send";
    tempReciv = root / "Temp/Reciv";
    arcSend = root / "Arc/ReceivedEncrypted";
    arcReciv = root / "Arc/SentEncrypted";
    arcSend2 = root / "Arc/Received";
    arcReciv2 = root / "Arc/Sent";
    const std::filesystem::path logFolder = folder("work");

    log.Open(logFolder);
    Journal::Create(root / "ornel_ftp.db");
    journal.Open(root / "ornel_ftp.db");

    settings.ShowBallonHint = false;
    settings.NotUseCrypt = true;
    settings.SoundOFF = false; // no sound switches are on: notifications stay silent
    settings.IP = "127.0.0.1";
    settings.Passive = true;
    settings.PostBoxOut = postBoxOut.string();
    settings.PostBoxIn = postBoxIn.string();
    settings.ERRExt = ".dat";
    settings.KodSend = "00010000";
    settings.PIN = "12345678";
    settings.UPIN = "87654321";
    settings.WindowType = 3;
    layout.SetFtpIn("In");
    layout.SetFtpOut("Out");
    layout.SetTempSend(tempSend.string());
    layout.SetTempReciv(tempReciv.string());
    layout.SetArcSend(arcSend.string());
    layout.SetArcReciv(arcReciv.string());
    layout.SetArcSend2(arcSend2.string());
    layout.SetArcReciv2(arcReciv2.string());

    // No test may hang on a silent peer.
    ftp.SetReadTimeout(std::chrono::seconds(5));
    ftp.SetReplyTimeout(std::chrono::seconds(10));
    ftp.SetDataStallTimeout(std::chrono::seconds(10));
    cycle.BindFtpEvents();
}

CycleFixture::~CycleFixture()
{
    journal.Close();
}

void CycleFixture::UseServer(int port, const std::string& user, const std::string& password)
{
    settings.Port = port;
    settings.User = user;
    settings.Password = password;
}

void CycleFixture::UseCrypt()
{
    settings.NotUseCrypt = false;
    settings.CryptProgNew = ORNEL_CRYPT_PATH;
}

std::vector<std::string> CycleFixture::FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file()) {
            names.push_back(PathToUtf8(it->path().filename()));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool CycleFixture::Logged(const std::string& line) const
{
    return IndexOf(line) >= 0;
}

int CycleFixture::IndexOf(const std::string& line) const
{
    const auto& lines = Lines();
    const auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
}

std::string CycleFixture::LogText() const
{
    std::string text;
    for (const auto& l : Lines()) {
        text += l + "\n";
    }
    return text;
}

std::string CycleFixture::Today() const
{
    return FormatDateTime("yyyymmdd", clock.Now());
}

} // namespace ornel::test
