// Sound notifications and the error-file alert. Owned by TFMain; UI thread only.
#pragma once

#include <string>

namespace ornel
{

struct EngineContext;

enum class SoundEvent
{
    ExchangeStart = 0,
    FilesOnServer = 1,
    ErrorFile = 2,
    UnKnOwnFiles = 3,
};

class Notifications
{
public:
    explicit Notifications(EngineContext& ctx);

    // The event's sound file, or the beeper sequence when sounds are off (SoundOFF) or the
    // file cannot be played; nothing when the event's switch is off. Never throws.
    void PlayNotification(SoundEvent event) noexcept;
    // Five 100 ms tones, 1000 to 5000 Hz.
    void BeepSequence() noexcept;

    // The alert for a decrypted error report: sound, log line and, with WindowERR, the
    // report's text in the message window. A report that cannot be read throws.
    void ShowErrorFile(const std::string& path);

private:
    EngineContext& m_ctx;
};

} // namespace ornel
