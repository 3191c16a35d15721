// How often the window's events run while a transfer asks for them with
// every block: at the beat, never more often, and never held back for long.

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/desktop.h"
#include "platform/metronome.h"
#include "platform/qtdesktop.h"

namespace {

using namespace std::chrono_literals;

constexpr auto Interval = 20ms;

// Calls take() until it says yes or the time is up; how long that took.
std::chrono::milliseconds untilBeat(Metronome &metronome, std::chrono::milliseconds limit)
{
    QElapsedTimer clock;
    clock.start();
    while (!metronome.take()) {
        if (clock.elapsed() > limit.count())
            return limit;
        std::this_thread::sleep_for(100us);
    }
    return std::chrono::milliseconds(clock.elapsed());
}

TEST(Metronome, BeatsOncePerIntervalFromTheBeatTaken)
{
    Metronome metronome(Interval);
    EXPECT_TRUE(metronome.take()) << "the first call";
    EXPECT_FALSE(metronome.take()) << "right after a beat";
    const auto waited = untilBeat(metronome, 2s);
    EXPECT_GE(waited, Interval - 2ms) << "not before the interval is over";
    EXPECT_LT(waited, 1s) << "and then soon";
    EXPECT_FALSE(metronome.take());
}

// A beat that nobody takes waits for its taker, however long; there is
// one beat then, not one for every interval that went by.
TEST(Metronome, HoldsABeatThatIsNotTaken)
{
    Metronome metronome(Interval);
    ASSERT_TRUE(metronome.take());
    std::this_thread::sleep_for(5 * Interval);
    EXPECT_TRUE(metronome.take());
    EXPECT_FALSE(metronome.take());
}

// A desktop with a beat lets the window's events run at its pace however
// often it is asked; one without, every time.
class CountingDesktop final : public Desktop
{
public:
    explicit CountingDesktop(Metronome *beat) { setBeat(beat); }

    void sleep(int) override {}
    void pumpEventsNow() override { ++passes; }
    bool startProgram(const QString &, QString *) override { return true; }
    QString prompt(const QString &, const QString &) override { return {}; }
    double timer() override { return 0; }
    QDateTime now() override { return {}; }
    QString programDirectory() override { return {}; }
    QString commandLine() override { return {}; }

    int passes = 0;

protected:
    void exitProgram(int) override {}
    void letEventsRun() override { ++passes; }
};

TEST(DesktopPump, PassesAtTheBeatHoweverOftenAsked)
{
    Metronome metronome(Interval);
    CountingDesktop desktop(&metronome);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 1'000'000; ++i)
        desktop.pumpEvents();
    const qint64 elapsedMs = clock.elapsed();
    EXPECT_GE(desktop.passes, 1) << "the first call lets the events run";
    EXPECT_LE(desktop.passes, 1 + elapsedMs / Interval.count()) << "a million calls in " << elapsedMs << " ms";

    const int before = desktop.passes;
    std::this_thread::sleep_for(2 * Interval);
    desktop.pumpEvents();
    EXPECT_EQ(desktop.passes, before + 1) << "a call after the interval lets them run";

    desktop.pumpEventsNow();
    EXPECT_EQ(desktop.passes, before + 2) << "a pass asked for now is never held back";
}

TEST(DesktopPump, WithoutABeatEveryCallPasses)
{
    CountingDesktop desktop(nullptr);
    for (int i = 0; i < 1000; ++i)
        desktop.pumpEvents();
    EXPECT_EQ(desktop.passes, 1000);
}

// A pause counts from its start: what the job does first (showing where it
// stands) is part of it, not added to it; and the pause never ends before
// its length, however long that first step took.
TEST(DesktopPause, CountsFromItsStart)
{
    QtDesktop desktop;
    const struct
    {
        int pauseMs;
        int firstMs;
        int atLeastMs;
    } cases[] = {{200, 150, 200}, {200, 0, 200}, {100, 160, 160}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "pause " << c.pauseMs << " ms, first step " << c.firstMs << " ms");
        bool ran = false;
        QElapsedTimer clock;
        clock.start();
        desktop.pauseAfter(c.pauseMs, [&] {
            ran = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(c.firstMs));
        });
        const qint64 elapsedMs = clock.elapsed();
        EXPECT_TRUE(ran);
        EXPECT_GE(elapsedMs, c.atLeastMs);
        // Added rather than counted in, it would last pauseMs + firstMs.
        EXPECT_LT(elapsedMs, c.atLeastMs + 100);
    }
}

} // namespace
