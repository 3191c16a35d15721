#pragma once

#include <QString>

#include <memory>

#include "platform/inet/wait.h"

namespace inet {

// An Internet session: the settings that every connection opened from it
// shares. Opening one fails only when the process cannot do networking.
class Session
{
public:
    static constexpr int DefaultTimeoutMs = 60000;

    [[nodiscard]] static std::unique_ptr<Session> open(const QString &agent);

    const QString &agent() const { return mAgent; }
    int timeoutMs() const { return mTimeoutMs; }
    void setTimeoutMs(int ms) { mTimeoutMs = ms > 0 ? ms : DefaultTimeoutMs; }
    // What connections opened from now on do before a wait that may last.
    const WaitHook &waitHook() const { return mWaitHook; }
    void setWaitHook(WaitHook hook) { mWaitHook = std::move(hook); }

private:
    explicit Session(const QString &agent) : mAgent(agent) {}

    QString mAgent;
    int mTimeoutMs = DefaultTimeoutMs;
    WaitHook mWaitHook;
};

} // namespace inet
