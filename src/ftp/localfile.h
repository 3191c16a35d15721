#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>

#include <cstring>
#include <memory>

#include "platform/pendingfiles.h"

// The local side of a streamed transfer. The transfer moves 255 bytes at a
// time; the disk is read and written here in large blocks instead, with no
// further buffer of Qt's in between. An upload takes its blocks where they
// lie in the buffer read from the disk; a download has the network put its
// bytes straight into the buffer that goes to the disk. A hash,
// when one is asked for, is taken here too, over those large blocks, while
// the bytes go by: a file is never read twice.

namespace localfile {
constexpr qint64 SourceBytes = 256 * 1024;
// A download's buffer: a whole number of the transfer's 255-byte blocks,
// so that a full one ends on a block, and of pages, so that every write
// to the disk is of whole pages.
constexpr qint64 TargetBytes = 255 * 4096;
} // namespace localfile

class LocalSource
{
public:
    explicit LocalSource(const QString &path) : mFile(path) {}
    // Opens the file and notes what it is (which file, its size, when it
    // was last written), to tell later whether it changed meanwhile.
    bool open();
    // The size when it was opened; reading stops there, even if a producer
    // is still adding to the file.
    qint64 size() const { return mLimit; }
    // The next size bytes where they lie, valid until the next call, when
    // the block in hand holds them all; nullptr when not (read() them).
    const char *readView(qint64 size)
    {
        if (size > mBuffer.size() - mPos)
            return nullptr;
        const char *at = mBuffer.constData() + mPos;
        mPos += size;
        return at;
    }
    // Exactly size bytes, or false when the file ends first or cannot be read.
    bool read(char *data, qint64 size)
    {
        if (size <= mBuffer.size() - mPos) {
            std::memcpy(data, mBuffer.constData() + mPos, size_t(size));
            mPos += size;
            return true;
        }
        return readAcross(data, size);
    }
    void close() { mFile.close(); }
    const QFile &file() const { return mFile; }

    // Every byte read from now on goes into a hash of this algorithm.
    void hashWith(QCryptographicHash::Algorithm algorithm);
    // The hash of what was read, in lower-case hex; empty without one.
    QString hash() const;

    // Empty while the file on disk is the one that was opened, with the
    // same size and time of its last change; else what is different.
    QString changeSinceOpen() const;

private:
    struct Stamp
    {
        qint64 device = 0, inode = 0, size = 0, modifiedSeconds = 0, modifiedNanoseconds = 0;
    };

    bool readAcross(char *data, qint64 size);

    QFile mFile;
    QByteArray mBuffer;
    qint64 mPos = 0;
    qint64 mLimit = 0;
    qint64 mLoaded = 0;
    Stamp mStamp;
    std::unique_ptr<QCryptographicHash> mHash;
};

// A download's local file. The bytes go to a temporary file beside the
// target (".NAME.part"); only commit() puts it in the target's place, so an
// older copy of the target stays whole until the new one is complete, and a
// partial file is never found under the target's name.
class LocalTarget
{
public:
    explicit LocalTarget(const QString &path);
    // A temporary file that was not committed is removed.
    ~LocalTarget();

    // Creates the temporary file (a stale one of that name from an earlier
    // run is cut to nothing); the target itself is not touched.
    bool open();
    // A download receives its bytes straight into the buffer that goes to
    // the disk: here, at most roomSize() of them.
    char *room() { return mBuffer.get() + mFill; }
    qint64 roomSize() const { return localfile::TargetBytes - mFill; }
    // size bytes put at room() belong to the file now; a full buffer goes
    // out to it. False when the disk refused them.
    bool added(qint64 size)
    {
        mFill += size;
        return mFill < localfile::TargetBytes || writeOut();
    }
    // Everything written so far out to the file and on to stable storage;
    // a hash then covers the whole file.
    bool flush();
    // Flushed, renamed over the target, and the rename made lasting.
    bool commit();
    // Gives up on the file: the temporary file goes, the target stays as
    // it was.
    void discard();

    void hashWith(QCryptographicHash::Algorithm algorithm);
    QString hash() const;

    const QString &path() const { return mTarget; }
    QString temporaryPath() const { return mFile.fileName(); }
    // The system's own words for the last failure ("No space left on
    // device").
    const QString &errorString() const { return mError; }

private:
    bool writeOut();
    bool fail(int error);

    QString mTarget;
    QFile mFile;
    // Kept for the whole file; the first mFill bytes are still to be written.
    std::unique_ptr<char[]> mBuffer;
    qint64 mFill = 0;
    qint64 mSinceWriteBehind = 0;
    // Everything written is on stable storage.
    bool mSynced = false;
    QString mError;
    bool mTemporaryExists = false;
    pendingfiles::Ticket mPending;
    std::unique_ptr<QCryptographicHash> mHash;
};
