// The tray application's SoundPlayer: files through QMediaPlayer, beeper tones generated
// as PCM and pushed to an audio sink one after the other. Without an audio output both
// stay silent. Owned by the application; UI thread only.
#pragma once

#include "platform/SoundPlayer.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <memory>

class QAudioOutput;
class QAudioSink;
class QIODevice;
class QMediaPlayer;

namespace ornel
{

class QtSoundPlayer final : public QObject, public SoundPlayer
{
    Q_OBJECT

public:
    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;

    void PlayFile(const std::filesystem::path& file) override;
    [[nodiscard]] bool Playing() const override;
    void Stop() override;
    // Queued behind a tone still sounding, so a sequence of calls plays in order.
    void Beep(int frequencyHz, std::chrono::milliseconds duration) override;

    // PCM (16-bit signed, mono, little-endian) of one tone with short fades so that it
    // does not click; exposed for tests.
    [[nodiscard]] static QByteArray ToneSamples(int frequencyHz, std::chrono::milliseconds duration,
                                                int sampleRate);
    [[nodiscard]] static bool HasAudioOutput();
    // Bytes of generated tones not yet handed to the audio sink.
    [[nodiscard]] qsizetype PendingToneBytes() const { return m_pendingTones.size(); }

private:
    void EnsureMediaPlayer();
    void FeedSink();

    std::unique_ptr<QMediaPlayer> m_player;
    std::unique_ptr<QAudioOutput> m_output;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_sinkDevice = nullptr; // owned by m_sink
    QByteArray m_pendingTones;
    QTimer m_feed;
    int m_sampleRate = 44100;
};

} // namespace ornel
