#include "platform/pendingfiles.h"

#include <QFile>

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace pendingfiles {

namespace {

// One download at a time is the rule; a few more slots leave room for a
// listing taken while a file is open.
constexpr int Slots = 8;

// Each slot holds a path encoded in advance, so that the signal handler
// only reads a pointer and calls unlink(). The pointer is taken out of the
// slot before its memory is freed: a signal in between finds either the
// whole path or none.
std::atomic<char *> gSlots[Slots];
static_assert(std::atomic<char *>::is_always_lock_free, "the signal handler must not take a lock");

int take(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    for (int i = 0; i < Slots; ++i) {
        if (gSlots[i].load() != nullptr)
            continue;
        char *copy = new char[size_t(encoded.size()) + 1];
        std::memcpy(copy, encoded.constData(), size_t(encoded.size()) + 1);
        char *expected = nullptr;
        if (gSlots[i].compare_exchange_strong(expected, copy))
            return i;
        delete[] copy;
    }
    return -1;
}

void give(int slot)
{
    if (slot >= 0)
        delete[] gSlots[slot].exchange(nullptr);
}

extern "C" void onSignal(int signal)
{
    removeAll();
    // SA_RESETHAND has put the default action back and SA_NODEFER leaves
    // the signal unblocked: this ends the program the way the sender meant.
    ::raise(signal);
}

} // namespace

Ticket::Ticket(const QString &path) : mSlot(take(path)) {}

Ticket::~Ticket()
{
    give(mSlot);
}

Ticket::Ticket(Ticket &&other) noexcept : mSlot(other.mSlot)
{
    other.mSlot = -1;
}

Ticket &Ticket::operator=(Ticket &&other) noexcept
{
    if (this != &other) {
        give(mSlot);
        mSlot = other.mSlot;
        other.mSlot = -1;
    }
    return *this;
}

void Ticket::release()
{
    give(mSlot);
    mSlot = -1;
}

void removeAll()
{
    for (auto &slot : gSlots) {
        if (const char *path = slot.load())
            ::unlink(path);
    }
}

void removeOnSignals(std::initializer_list<int> signalNumbers)
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int signal : signalNumbers)
        ::sigaction(signal, &action, nullptr);
}

} // namespace pendingfiles
