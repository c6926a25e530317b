// Plays notification sounds. Never raises and never blocks for the length of a sound;
// without an audio device it stays silent. UI thread only.
#pragma once

#include <chrono>
#include <filesystem>

namespace ornel {

class SoundPlayer
{
public:
    virtual ~SoundPlayer() = default;

    // Starts playing the file and returns at once; a file that cannot be played is silence.
    virtual void PlayFile(const std::filesystem::path& file) = 0;
    [[nodiscard]] virtual bool Playing() const = 0;
    virtual void Stop() = 0;
    // A generated sine tone; returns at once.
    virtual void Beep(int frequencyHz, std::chrono::milliseconds duration) = 0;
};

} // namespace ornel
