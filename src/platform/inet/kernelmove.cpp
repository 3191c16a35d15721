#include "platform/inet/kernelmove.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>

namespace inet {

namespace {
// As much as an unprivileged process may ask for by default; the kernel
// gives less where it is set lower, and the default of 64 KiB works too.
constexpr int WantedCapacity = 1024 * 1024;
constexpr qint64 ScratchBytes = 64 * 1024;
} // namespace

KernelPipe::KernelPipe()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    mRead = ends[0];
    mWrite = ends[1];
    ::fcntl(mWrite, F_SETPIPE_SZ, WantedCapacity);
    const int capacity = ::fcntl(mWrite, F_GETPIPE_SZ);
    mCapacity = capacity > 0 ? capacity : 4096;
}

KernelPipe::~KernelPipe()
{
    if (mRead >= 0)
        ::close(mRead);
    if (mWrite >= 0)
        ::close(mWrite);
}

qint64 KernelPipe::takeFrom(int socket, qint64 size)
{
    const ssize_t got
        = ::splice(socket, nullptr, mWrite, nullptr, size_t(qMin(size, mCapacity)), SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (got > 0)
        mHeld = got;
    return got;
}

int KernelPipe::drainTo(int file)
{
    while (mHeld > 0) {
        if (!mFileSplices)
            return drainThroughMemory(file);
        const ssize_t moved = ::splice(mRead, nullptr, file, nullptr, size_t(mHeld), SPLICE_F_MOVE);
        if (moved > 0) {
            mHeld -= moved;
            continue;
        }
        if (moved < 0 && errno == EINTR)
            continue;
        // A file system (or a file opened for appending) that does not
        // take spliced bytes.
        if (moved < 0 && errno == EINVAL) {
            mFileSplices = false;
            continue;
        }
        return moved < 0 ? errno : ENOSPC;
    }
    return 0;
}

int KernelPipe::drainThroughMemory(int file)
{
    if (!mScratch)
        mScratch.reset(new char[ScratchBytes]);
    while (mHeld > 0) {
        const ssize_t got = ::read(mRead, mScratch.get(), size_t(qMin(mHeld, ScratchBytes)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? errno : EIO;
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = ::write(file, mScratch.get() + done, size_t(got - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return written < 0 ? errno : ENOSPC;
            done += written;
        }
        mHeld -= got;
    }
    return 0;
}

qint64 sendFileRange(int socket, int file, qint64 offset, qint64 size)
{
    // sendfile() has no MSG_NOSIGNAL. SIGPIPE is held back for the call,
    // and one that the call raised is taken away before it is let through.
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    sigset_t pending;
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;

    off_t at = off_t(offset);
    const ssize_t sent = ::sendfile(socket, file, &at, size_t(size));
    const int error = errno;
    if (sent < 0 && error == EPIPE && !alreadyPending) {
        const timespec now = {};
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return sent;
}

} // namespace inet
