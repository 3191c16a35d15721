#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>
#include <memory>

// The local side of a streamed transfer. The transfer moves 255 bytes at a
// time; the disk is read and written here in large blocks instead, with no
// further buffer of Qt's in between. A block of the transfer's is copied in
// or out inline, as that happens millions of times for a large file.

namespace localfile {
constexpr qint64 BlockBytes = 256 * 1024;
} // namespace localfile

class LocalSource
{
public:
    explicit LocalSource(const QString &path) : mFile(path) {}
    bool open();
    qint64 size() const { return mFile.size(); }
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

private:
    bool readAcross(char *data, qint64 size);

    QFile mFile;
    QByteArray mBuffer;
    qint64 mPos = 0;
};

class LocalTarget
{
public:
    explicit LocalTarget(const QString &path) : mFile(path) {}
    // Creates the file, or truncates an older one.
    bool open();
    bool write(const char *data, qint64 size)
    {
        if (size < localfile::BlockBytes - mFill) {
            std::memcpy(mBuffer.get() + mFill, data, size_t(size));
            mFill += size;
            return true;
        }
        return writeAcross(data, size);
    }
    // Everything written so far to the file and on to stable storage.
    bool commit();
    // Writes out what has been received and closes, as after a failure.
    void close();
    const QFile &file() const { return mFile; }

private:
    bool writeAcross(const char *data, qint64 size);
    bool writeOut();

    QFile mFile;
    // Kept for the whole file; the first mFill bytes are still to be written.
    std::unique_ptr<char[]> mBuffer;
    qint64 mFill = 0;
    qint64 mSinceWriteBehind = 0;
};
