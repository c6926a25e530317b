#include "engine/Notifications.h"

#include "engine/Desktop.h"
#include "engine/EngineContext.h"
#include "engine/EventLog.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/FileSnapshot.h"
#include "platform/PathText.h"
#include "platform/SoundPlayer.h"
#include "platform/TransferFile.h"
#include "settings/RuntimeSettings.h"

#include <optional>
#include <stdexcept>

namespace ornel
{

namespace
{

constexpr const char* kSeparator = "-----------------------";

struct EventSound
{
    bool On;
    const std::string& File;
};

EventSound SoundOf(const RuntimeSettings& s, SoundEvent event)
{
    switch (event) {
    case SoundEvent::ExchangeStart:
        return {s.PlaySound, s.PlayStart};
    case SoundEvent::FilesOnServer:
        return {s.PlaySoundFTP, s.PlayFTP};
    case SoundEvent::ErrorFile:
        return {s.PlaySoundERR, s.PlayERR};
    case SoundEvent::UnKnOwnFiles:
        break;
    }
    return {s.PlaySoundUnknown, s.PlayUnknown};
}

// What the media system would refuse to open: no name, no such file, no right to read.
bool CanOpenSoundFile(const std::string& file)
{
    if (file.empty()) {
        return false;
    }
    try {
        (void)TransferFile::OpenForReading(PathFromUtf8(file));
        return true;
    } catch (const TransferFileError&) {
        return false;
    }
}

} // namespace

Notifications::Notifications(EngineContext& ctx)
    : m_ctx(ctx)
{}

void Notifications::BeepSequence() noexcept
{
    try {
        for (int hz = 1000; hz <= 5000; hz += 1000) {
            m_ctx.sound.Beep(hz, std::chrono::milliseconds(100));
        }
    } catch (...) {
        // A notification never stops the work it announces.
    }
}

void Notifications::PlayNotification(SoundEvent event) noexcept
{
    if (m_ctx.settings.SoundOFF) {
        BeepSequence();
        return;
    }
    const EventSound sound = SoundOf(m_ctx.settings, event);
    if (!sound.On) {
        return;
    }
    try {
        if (m_ctx.sound.Playing()) {
            m_ctx.sound.Stop();
        }
    } catch (...) {
        // Stopping the previous sound may fail; the new one is played all the same.
    }
    try {
        if (!CanOpenSoundFile(sound.File)) {
            BeepSequence();
            return;
        }
        m_ctx.sound.PlayFile(PathFromUtf8(sound.File));
    } catch (...) {
        BeepSequence();
    }
}

void Notifications::ShowErrorFile(const std::string& path)
{
    if (!m_ctx.settings.ERRMonitoring) {
        return;
    }
    PlayNotification(SoundEvent::ErrorFile);
    const std::string moment = FormatDateTime("dd/mm/yyyy hh:nn:ss", m_ctx.clock.Now());
    m_ctx.log.AddLog(moment + " Обнаружен файл *.ERR: " + path);
    if (!m_ctx.settings.WindowERR) {
        return;
    }
    std::optional<std::string> content;
    try {
        content = ReadWholeFile(PathFromUtf8(path));
    } catch (const std::exception&) {
        throw std::runtime_error("Ошибка чтения файла " + path);
    }
    if (!content) {
        throw std::runtime_error("Не удается открыть файл " + path);
    }
    // Reports are Windows-1251 text with CR LF line ends.
    std::string text;
    for (char c : Cp1251ToUtf8(*content)) {
        if (c != '\r') {
            text += c;
        }
    }
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    std::string block = std::string(kSeparator) + "\n" + moment + "\nОбнаружен файл *.ERR: " + path + "\n";
    if (!text.empty()) {
        block += text + "\n";
    }
    block += kSeparator;
    m_ctx.desktop.AppendMessageWindow(block);
}

} // namespace ornel
