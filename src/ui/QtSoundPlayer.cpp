#include "ui/QtSoundPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioOutput>
#include <QAudioSink>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace ornel
{

namespace
{

constexpr int kFeedPeriodMs = 20;
constexpr double kAmplitude = 0.35 * 32767.0;
constexpr int kFadeMs = 5;

} // namespace

QtSoundPlayer::QtSoundPlayer(QObject* parent)
    : QObject(parent)
{
    m_feed.setInterval(kFeedPeriodMs);
    connect(&m_feed, &QTimer::timeout, this, [this] { FeedSink(); });
}

QtSoundPlayer::~QtSoundPlayer()
{
    m_feed.stop();
    if (m_sink) {
        m_sink->stop();
    }
    if (m_player) {
        m_player->stop();
    }
}

bool QtSoundPlayer::HasAudioOutput()
{
    // The ffmpeg media backend crashes in play() without a device, so nothing is even
    // constructed unless the system reports one.
    return !QMediaDevices::audioOutputs().isEmpty();
}

void QtSoundPlayer::EnsureMediaPlayer()
{
    if (m_player) {
        return;
    }
    m_player = std::make_unique<QMediaPlayer>();
    m_output = std::make_unique<QAudioOutput>(QMediaDevices::defaultAudioOutput());
    m_player->setAudioOutput(m_output.get());
}

void QtSoundPlayer::PlayFile(const std::filesystem::path& file)
{
    if (!HasAudioOutput()) {
        return;
    }
    const QFileInfo info(QString::fromStdString(file.string()));
    if (!info.isFile() || info.size() == 0) {
        return;
    }
    EnsureMediaPlayer();
    m_player->stop();
    m_player->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
    m_player->play();
}

bool QtSoundPlayer::Playing() const
{
    return m_player && m_player->playbackState() == QMediaPlayer::PlayingState;
}

void QtSoundPlayer::Stop()
{
    if (m_player) {
        m_player->stop();
    }
}

QByteArray QtSoundPlayer::ToneSamples(int frequencyHz, std::chrono::milliseconds duration, int sampleRate)
{
    const auto count =
        static_cast<qsizetype>(std::max<std::int64_t>(0, duration.count()) * sampleRate / 1000);
    const qsizetype fade =
        std::min<qsizetype>(count / 2, static_cast<qsizetype>(sampleRate) * kFadeMs / 1000);
    QByteArray pcm(count * 2, '\0');
    const double step = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
    for (qsizetype i = 0; i < count; ++i) {
        double gain = 1.0;
        if (fade > 0 && i < fade) {
            gain = static_cast<double>(i) / static_cast<double>(fade);
        } else if (fade > 0 && i >= count - fade) {
            gain = static_cast<double>(count - 1 - i) / static_cast<double>(fade);
        }
        const auto sample = static_cast<std::int16_t>(
            std::lround(kAmplitude * gain * std::sin(step * static_cast<double>(i))));
        pcm[2 * i] = static_cast<char>(sample & 0xff);
        pcm[2 * i + 1] = static_cast<char>((sample >> 8) & 0xff);
    }
    return pcm;
}

void QtSoundPlayer::Beep(int frequencyHz, std::chrono::milliseconds duration)
{
    if (frequencyHz <= 0 || duration.count() <= 0 || !HasAudioOutput()) {
        return;
    }
    if (!m_sink) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        QAudioFormat format;
        format.setSampleRate(44100);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format)) {
            return;
        }
        m_sampleRate = format.sampleRate();
        m_sink = std::make_unique<QAudioSink>(device, format);
    }
    m_pendingTones.append(ToneSamples(frequencyHz, duration, m_sampleRate));
    if (m_sinkDevice == nullptr || m_sink->state() == QAudio::StoppedState) {
        m_sinkDevice = m_sink->start();
    }
    FeedSink();
    m_feed.start();
}

void QtSoundPlayer::FeedSink()
{
    if (!m_sink || m_sinkDevice == nullptr) {
        m_pendingTones.clear();
        m_feed.stop();
        return;
    }
    if (!m_pendingTones.isEmpty()) {
        const qsizetype room = std::min<qsizetype>(m_sink->bytesFree(), m_pendingTones.size());
        if (room > 0) {
            const qint64 written = m_sinkDevice->write(m_pendingTones.constData(), room);
            if (written > 0) {
                m_pendingTones.remove(0, static_cast<qsizetype>(written));
            }
        }
        return;
    }
    // Everything handed over; let the sink drain, then release the device.
    if (m_sink->state() == QAudio::IdleState) {
        m_sink->stop();
        m_sinkDevice = nullptr;
        m_feed.stop();
    }
}

} // namespace ornel
