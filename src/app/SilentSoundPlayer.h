// The sound player of the headless front ends: a machine without a desktop has nobody to
// hear a notification, so every request is silence. UI thread only.
#pragma once

#include "platform/SoundPlayer.h"

namespace ornel
{

class SilentSoundPlayer final : public SoundPlayer
{
public:
    void PlayFile(const std::filesystem::path&) override {}
    [[nodiscard]] bool Playing() const override { return false; }
    void Stop() override {}
    void Beep(int, std::chrono::milliseconds) override {}
};

} // namespace ornel
