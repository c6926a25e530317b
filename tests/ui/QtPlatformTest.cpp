#include "ui/QtEventLoop.h"
#include "ui/QtSoundPlayer.h"
#include "ui/QtTimer.h"
#include "ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTranslator>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace ornel::test
{
namespace
{

using namespace std::chrono_literals;

TEST(QtTimer, KeepsTheTimerRules)
{
    QtTimer timer;
    int ticks = 0;
    timer.SetOnTimer([&] { ++ticks; });

    // Interval 0 never ticks, even enabled.
    timer.SetInterval(0ms);
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(timer.Counting());
    EXPECT_EQ(timer.RemainingMs(), -1);

    // A period on an enabled timer starts counting a full period.
    timer.SetInterval(60000ms);
    EXPECT_TRUE(timer.Counting());
    EXPECT_GT(timer.RemainingMs(), 59000);

    // Disabling drops the period; a new interval while disabled only stores it.
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Counting());
    timer.SetInterval(25000ms);
    EXPECT_FALSE(timer.Counting());
    EXPECT_EQ(timer.Interval(), 25000ms);

    // Enabling a stopped timer starts a full period; a new interval restarts it.
    timer.SetEnabled(true);
    EXPECT_GT(timer.RemainingMs(), 24000);
    EXPECT_LE(timer.RemainingMs(), 25000);
    timer.SetInterval(90000ms);
    EXPECT_GT(timer.RemainingMs(), 89000);

    // An interval beyond what QTimer counts does not wrap to a short one.
    timer.SetInterval(std::chrono::milliseconds(3LL * 24 * 3600 * 1000 * 10));
    EXPECT_GT(timer.RemainingMs(), 2000000000);
    EXPECT_EQ(ticks, 0);

    timer.SetInterval(1ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 5000));
}

TEST(QtEventLoop, RunsHandedOverWorkOnTheUiThread)
{
    QtEventLoop loop;
    std::atomic<bool> done{false};
    bool result = false;
    QThread* ranOn = nullptr;
    std::thread watcher([&] {
        result = loop.RunOnUiThreadAndWait([&] { ranOn = QThread::currentThread(); });
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
    watcher.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());

    // On the UI thread itself the work runs at once instead of waiting for itself.
    bool direct = false;
    EXPECT_TRUE(loop.RunOnUiThreadAndWait([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(QtEventLoop, ShutdownReleasesAWaitingThreadAndTheWorkNeverRuns)
{
    QtEventLoop loop;
    std::atomic<bool> ran{false};
    bool result = true;
    std::thread watcher([&] { result = loop.RunOnUiThreadAndWait([&] { ran = true; }); });
    // The UI thread serves nothing meanwhile, so the work cannot have started.
    loop.Shutdown();
    watcher.join();
    EXPECT_FALSE(result);
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran.load());
    EXPECT_FALSE(loop.RunOnUiThreadAndWait([&] { ran = true; }));
    EXPECT_FALSE(ran.load());
}

TEST(QtEventLoop, AnExceptionFromHandedOverWorkIsReportedAndTheCallerReleased)
{
    QtEventLoop loop;
    std::vector<std::string> errors;
    loop.SetErrorHandler([&](const std::string& message) { errors.push_back(message); });
    std::atomic<bool> done{false};
    bool result = false;
    std::thread watcher([&] {
        result = loop.RunOnUiThreadAndWait([] { throw std::runtime_error("log file not writable"); });
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 5000));
    watcher.join();
    EXPECT_TRUE(result);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "log file not writable");
}

TEST(QtTranslations, QtsOwnButtonsSpeakRussian)
{
    QTranslator translator;
    ASSERT_TRUE(InstallRussianQtTexts(*QCoreApplication::instance(), translator))
        << "Qt's Russian catalogue (qt6-translations-l10n) is missing";
    QMessageBox box(QMessageBox::Question, QStringLiteral("?"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QString::fromUtf8("&Да"));
    EXPECT_EQ(box.button(QMessageBox::No)->text(), QString::fromUtf8("&Нет"));
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QString::fromUtf8("Отмена"));
    QCoreApplication::removeTranslator(&translator);
    QLocale::setDefault(QLocale::c());
}

TEST(QtSoundPlayer, TonesAreSmoothAndNothingFailsWithoutAFile)
{
    const QByteArray pcm = QtSoundPlayer::ToneSamples(1000, 100ms, 44100);
    ASSERT_EQ(pcm.size(), 4410 * 2);
    auto sample = [&](qsizetype i) {
        return static_cast<std::int16_t>(static_cast<std::uint8_t>(pcm[2 * i]) |
                                         (static_cast<std::uint8_t>(pcm[2 * i + 1]) << 8));
    };
    // Fades in and out (no click), loud in the middle.
    EXPECT_EQ(sample(0), 0);
    EXPECT_LT(std::abs(sample(4409)), 200);
    int peak = 0;
    int crossings = 0;
    for (qsizetype i = 1; i < 4410; ++i) {
        peak = std::max(peak, std::abs(static_cast<int>(sample(i))));
        if ((sample(i - 1) < 0) != (sample(i) < 0)) {
            ++crossings;
        }
    }
    EXPECT_GT(peak, 8000);
    EXPECT_NEAR(crossings, 200, 4); // 1000 Hz for 0.1 s
    EXPECT_TRUE(QtSoundPlayer::ToneSamples(1000, 0ms, 44100).isEmpty());

    QtSoundPlayer player;
    player.PlayFile("/nonexistent/start.wav");
    EXPECT_FALSE(player.Playing());
    player.Stop();
    for (int hz : {1000, 2000, 3000, 4000, 5000}) {
        player.Beep(hz, 100ms);
    }
    if (!QtSoundPlayer::HasAudioOutput()) {
        EXPECT_EQ(player.PendingToneBytes(), 0);
    }
}

} // namespace
} // namespace ornel::test
