// The folders and server depths derived from the folder settings by their setters: the
// working folders for plain files and today's archive folders. Owned by TFMain, read by
// every engine piece; UI thread only.
#pragma once

#include <string>

namespace ornel
{

struct EngineContext;

class FolderLayout
{
public:
    explicit FolderLayout(EngineContext& ctx);

    // Each setter stores the text in the settings record and derives its folder or depth.
    void SetFtpIn(const std::string& text);
    void SetFtpOut(const std::string& text);
    // Also create the folder and its "temp2" subfolder when they are missing.
    void SetTempSend(const std::string& text);
    void SetTempReciv(const std::string& text);
    // Today's day folder (text + "/" + yyyymmdd) is created when missing; when that fails
    // the undated folder is used, and an empty (blank) text means no archive at all.
    void SetArcSend(const std::string& text);
    void SetArcReciv(const std::string& text);
    void SetArcSend2(const std::string& text);
    void SetArcReciv2(const std::string& text);

    [[nodiscard]] const std::string& TempSendPlain() const { return m_tempSendPlain; }
    [[nodiscard]] const std::string& TempRecivPlain() const { return m_tempRecivPlain; }
    [[nodiscard]] const std::string& ArcSendDayFolder() const { return m_arcSendDay; }
    [[nodiscard]] const std::string& ArcRecivDayFolder() const { return m_arcRecivDay; }
    [[nodiscard]] const std::string& ArcSend2DayFolder() const { return m_arcSend2Day; }
    [[nodiscard]] const std::string& ArcReciv2DayFolder() const { return m_arcReciv2Day; }
    [[nodiscard]] int FtpInDepth() const { return m_ftpInDepth; }
    [[nodiscard]] int FtpOutDepth() const { return m_ftpOutDepth; }

    // 1 + the number of "/" in a server directory: the ChangeDirUp steps back from it.
    [[nodiscard]] static int Depth(const std::string& serverDir);
    // The text without one trailing path delimiter.
    [[nodiscard]] static std::string WithoutTrailingDelim(const std::string& text);

private:
    [[nodiscard]] std::string PlainFolder(const std::string& text) const;
    [[nodiscard]] std::string DayFolder(const std::string& text) const;

    EngineContext& m_ctx;
    std::string m_tempSendPlain;
    std::string m_tempRecivPlain;
    std::string m_arcSendDay;
    std::string m_arcRecivDay;
    std::string m_arcSend2Day;
    std::string m_arcReciv2Day;
    int m_ftpInDepth = 1;
    int m_ftpOutDepth = 1;
};

} // namespace ornel
