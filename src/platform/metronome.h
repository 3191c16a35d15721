#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Beats at most once per interval. A transfer asks "time to let the window
// in?" several times for every 255-byte block, millions of times a second
// on a fast link; here the question costs the load of one flag, not a read
// of the clock. A thread of its own keeps the time.
//
// The interval runs from the moment a beat is taken. A beat nobody takes is
// held, and the thread sleeps until it is taken: a program that waits on the
// network or sleeps out a pause is not woken for nothing.
class Metronome
{
public:
    explicit Metronome(std::chrono::milliseconds interval) : mInterval(interval), mThread([this] { run(); }) {}

    ~Metronome()
    {
        {
            const std::lock_guard lock(mMutex);
            mStop = true;
        }
        mWake.notify_all();
        mThread.join();
    }

    Metronome(const Metronome &) = delete;
    Metronome &operator=(const Metronome &) = delete;

    // True for the first call after a beat (and for the very first call);
    // the next beat comes one interval later.
    bool take() noexcept { return mBeat.load(std::memory_order_relaxed) && takeHeld(); }

private:
    bool takeHeld() noexcept
    {
        {
            const std::lock_guard lock(mMutex);
            if (!mBeat.load(std::memory_order_relaxed))
                return false;
            mBeat.store(false, std::memory_order_relaxed);
        }
        mWake.notify_all();
        return true;
    }

    void run()
    {
        std::unique_lock lock(mMutex);
        for (;;) {
            mWake.wait(lock, [this] { return mStop || !mBeat.load(std::memory_order_relaxed); });
            if (mWake.wait_for(lock, mInterval, [this] { return mStop; }))
                return;
            mBeat.store(true, std::memory_order_relaxed);
        }
    }

    const std::chrono::milliseconds mInterval;
    std::atomic<bool> mBeat{true};
    std::mutex mMutex;
    std::condition_variable mWake;
    bool mStop = false;
    std::thread mThread;
};
