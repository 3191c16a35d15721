#pragma once

#include <QtGlobal>

#include <memory>

// Bytes moved between a plain data connection and a local file by the
// kernel alone, never through this program's memory.
namespace inet {

// A pipe inside the kernel that moves a socket's bytes into a file without
// passing them through the program's memory: the socket's pages are handed
// to the pipe as they are, and copied once, into the file. A download that
// reads and writes instead copies every byte twice, and the copy out of the
// socket is the largest part of a fast download's work.
class KernelPipe
{
public:
    // Opens the pipe, as large as the system allows; valid() says whether
    // there is one.
    KernelPipe();
    ~KernelPipe();
    KernelPipe(const KernelPipe &) = delete;
    KernelPipe &operator=(const KernelPipe &) = delete;

    bool valid() const { return mRead >= 0; }

    // Up to size bytes of what the socket holds now: the count, 0 at the end
    // of its data, -1 with errno (EAGAIN when nothing has come yet). The pipe
    // must be empty.
    qint64 takeFrom(int socket, qint64 size);
    // All that the pipe holds into the file at its position: 0, or the
    // errno of the file's refusal. A file that cannot take bytes this way
    // gets them by read() and write(), from then on.
    int drainTo(int file);

private:
    int drainThroughMemory(int file);

    int mRead = -1;
    int mWrite = -1;
    qint64 mCapacity = 0;
    qint64 mHeld = 0;
    bool mFileSplices = true;
    std::unique_ptr<char[]> mScratch;
};

// Up to size bytes of the file open on the descriptor file, from offset on,
// to the socket (sendfile): the count, 0 when the file ends at offset, -1
// with errno (EAGAIN when the socket has no room yet). A connection the
// server dropped gives EPIPE, never the signal that would end the program.
qint64 sendFileRange(int socket, int file, qint64 offset, qint64 size);

} // namespace inet
