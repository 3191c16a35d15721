#pragma once

#include <QtGlobal>

#include <time.h>

// A monotonic clock of a few milliseconds' resolution that costs next to
// nothing to read. Transfers ask "is it time yet?" after every 255-byte
// block; the precise clock would cost them a good share of their speed.
inline qint64 coarseMonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}
