#pragma once

#include <QString>

#include <optional>
#include <utility>
#include <variant>

#include "platform/inet/errors.h"

// Failures as values. Inside the layer every step hands its failure back to
// its caller; only the public operations turn it into the thread's last
// error, on their way out. So a clean-up after a failure (an abandoned
// transfer, a QUIT) can never overwrite the failure that caused it.
namespace inet {

// Why something failed: one of the layer's codes and, when a reply of the
// server was the reason, that reply's whole text, every line with its CR LF.
// A failure that can say more than its code (which certificate, which date)
// says it in its detail, one line without a line break.
struct Failure
{
    explicit Failure(int code, QString reply = QString()) : code(code), reply(std::move(reply)) {}

    static Failure because(int code, QString detail)
    {
        Failure failure(code);
        failure.detail = std::move(detail);
        return failure;
    }

    int code;
    QString reply;
    QString detail;
};

// A value, or the failure that stands in its place.
template<typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : mState(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : mState(std::in_place_index<1>, std::move(failure)) {}

    [[nodiscard]] bool ok() const { return mState.index() == 0; }
    explicit operator bool() const { return ok(); }

    T &operator*() & { return std::get<0>(mState); }
    const T &operator*() const & { return std::get<0>(mState); }
    T &&operator*() && { return std::get<0>(std::move(mState)); }
    T *operator->() { return &std::get<0>(mState); }
    const T *operator->() const { return &std::get<0>(mState); }

    const Failure &failure() const { return std::get<1>(mState); }

private:
    std::variant<T, Failure> mState;
};

// Success, or the failure.
template<>
class [[nodiscard]] Result<void>
{
public:
    Result() = default;
    Result(Failure failure) : mFailure(std::move(failure)) {}

    [[nodiscard]] bool ok() const { return !mFailure; }
    explicit operator bool() const { return ok(); }

    const Failure &failure() const { return *mFailure; }

private:
    std::optional<Failure> mFailure;
};

using Status = Result<void>;

// For the public operations of the layer: a failure becomes the thread's
// last error on its way out; a success leaves the last error alone.
template<typename T>
Result<T> published(Result<T> result)
{
    if (!result)
        setLastFailure(result.failure());
    return result;
}

} // namespace inet
