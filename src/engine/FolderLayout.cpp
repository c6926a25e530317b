#include "engine/FolderLayout.h"

#include "engine/EngineContext.h"
#include "engine/FileMoves.h"
#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/FileSystem.h"
#include "platform/PathText.h"
#include "settings/RuntimeSettings.h"

#include <algorithm>

namespace ornel
{

namespace
{

bool IsBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

} // namespace

FolderLayout::FolderLayout(EngineContext& ctx)
    : m_ctx(ctx)
{}

int FolderLayout::Depth(const std::string& serverDir)
{
    return 1 + static_cast<int>(std::count(serverDir.begin(), serverDir.end(), '/'));
}

std::string FolderLayout::WithoutTrailingDelim(const std::string& text)
{
    if (text.size() > 1 && IsPathDelim(text.back())) {
        return text.substr(0, text.size() - 1);
    }
    return text;
}

void FolderLayout::SetFtpIn(const std::string& text)
{
    m_ctx.settings.FtpIn = text;
    m_ftpInDepth = Depth(text);
}

void FolderLayout::SetFtpOut(const std::string& text)
{
    m_ctx.settings.FtpOut = text;
    m_ftpOutDepth = Depth(text);
}

std::string FolderLayout::PlainFolder(const std::string& text) const
{
    // No working folder set: no plain folder either, rather than "/temp2" in the root.
    if (IsBlank(text)) {
        return {};
    }
    const std::string base = text == std::string(1, kPathDelim) ? std::string() : WithoutTrailingDelim(text);
    const std::string plain = base + kPathDelim + "temp2";
    if (!FolderExists(PathFromUtf8(text))) {
        FileMoves::CreateFolderChain(text);
    }
    if (!FolderExists(PathFromUtf8(plain))) {
        FileMoves::CreateFolderChain(plain);
    }
    return plain;
}

void FolderLayout::SetTempSend(const std::string& text)
{
    m_ctx.settings.TempSend = text;
    m_tempSendPlain = PlainFolder(text);
}

void FolderLayout::SetTempReciv(const std::string& text)
{
    m_ctx.settings.TempReciv = text;
    m_tempRecivPlain = PlainFolder(text);
}

std::string FolderLayout::DayFolder(const std::string& text) const
{
    // An empty archive setting would put the day folder into the root of the file system;
    // it means "no archive" instead.
    if (IsBlank(text)) {
        return {};
    }
    const std::string candidate = text + kPathDelim + FormatDateTime("yyyymmdd", m_ctx.clock.Now());
    if (FolderExists(PathFromUtf8(candidate)) || FileMoves::CreateFolderChain(candidate)) {
        return candidate;
    }
    return text;
}

void FolderLayout::SetArcSend(const std::string& text)
{
    m_ctx.settings.ArcSend = text;
    m_arcSendDay = DayFolder(text);
}

void FolderLayout::SetArcReciv(const std::string& text)
{
    m_ctx.settings.ArcReciv = text;
    m_arcRecivDay = DayFolder(text);
}

void FolderLayout::SetArcSend2(const std::string& text)
{
    m_ctx.settings.ArcSend2 = text;
    m_arcSend2Day = DayFolder(text);
}

void FolderLayout::SetArcReciv2(const std::string& text)
{
    m_ctx.settings.ArcReciv2 = text;
    m_arcReciv2Day = DayFolder(text);
}

} // namespace ornel
