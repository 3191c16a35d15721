#pragma once

#include <QByteArray>
#include <QDeadlineTimer>

#include <cstring>
#include <memory>
#include <optional>

#include "platform/inet/result.h"

class QSslSocket;

namespace inet {

class ConnectionLink;

enum class FileAccess { Read, Write };

// A remote file open for one transfer (RETR or STOR). The caller may read or
// write a few bytes at a time; the socket is only ever asked for, or given,
// large blocks. While the file is open its connection runs nothing else.
//
// read(), write() and close() are the public face: a failure there becomes
// the thread's lastError(). Inside the layer the Result forms are used, and
// the failure travels as a value.
//
// The file keeps one block of its own for the whole transfer. A plain data
// connection is read into it and written from it by the system's calls on
// the socket's descriptor: Qt's socket would copy every byte once more
// through a buffer of its own, which grows and shrinks as data comes and
// costs a fast download a good share of its speed. An encrypted connection
// goes through Qt, which decrypts and encrypts there.
class FtpFile
{
public:
    // The block the socket is read into and written from.
    static constexpr qint64 BlockBytes = 256 * 1024;

    FtpFile(ConnectionLink &link, std::unique_ptr<QSslSocket> data, FileAccess access);
    // Abandons the transfer if it was not closed, and frees the connection.
    ~FtpFile();

    // Up to size bytes into data: the count, 0 at the end of the data, -1
    // on failure (lastError() set). Served from the block in hand while it
    // lasts: a transfer calls this for every 255 bytes. A large read with
    // nothing in hand goes from the socket straight into data.
    [[nodiscard]] qint64 read(char *data, qint64 size)
    {
        // A whole block of the caller's in hand: a copy of a size the
        // compiler knows, which it makes in a few moves.
        if (size > 0 && size <= mReadEnd - mReadPos) {
            std::memcpy(data, mBuffer.get() + mReadPos, size_t(size));
            mReadPos += size;
            return size;
        }
        return readMore(data, size);
    }
    // All size bytes, or false on failure. Only a full block goes out.
    [[nodiscard]] bool write(const char *data, qint64 size)
    {
        if (mWritable && size < BlockBytes - mFill) {
            std::memcpy(mBuffer.get() + mFill, data, size_t(size));
            mFill += size;
            return true;
        }
        return writeMore(data, size);
    }

    // Ends the transfer: a written file is flushed and its data connection
    // closed; a read file must have reached the end of its data. Then the
    // server's final reply is read. Anything but a positive completion
    // (552 disk full, 426 aborted, a dropped connection) makes it fail.
    [[nodiscard]] bool close();
    // A written file only: sends what is still held and closes the data
    // connection, so the server has the whole file and can store it while
    // the caller waits for something else. close() then only reads the
    // server's final reply, and reports a failure of this step.
    void endWriting();

    Result<qint64> readSome(char *data, qint64 size);
    Status writeAll(const char *data, qint64 size);
    Status finish();

private:
    qint64 take(char *data, qint64 size)
    {
        const qint64 n = qMin(size, mReadEnd - mReadPos);
        std::memcpy(data, mBuffer.get() + mReadPos, size_t(n));
        mReadPos += n;
        return n;
    }
    qint64 readMore(char *data, qint64 size);
    bool writeMore(const char *data, qint64 size);

    Status fill();
    Result<qint64> arrive(char *into, qint64 size);
    Result<qint64> receive(char *into, qint64 size);
    Status flush(qint64 highWater);
    Status send(const char *from, qint64 size);
    Status drainQt(qint64 highWater);
    [[nodiscard]] bool takeDecrypted();
    [[nodiscard]] bool dataMayFollow() const;
    [[nodiscard]] bool waitForData(const QDeadlineTimer &deadline);
    [[nodiscard]] qint64 unsent() const;
    Status endUpload();
    Status endDownload();
    void abandon();

    ConnectionLink &mLink;
    std::unique_ptr<QSslSocket> mData;
    FileAccess mAccess;
    // Plain: the descriptor is read and written here, not by Qt.
    bool mDirect;
    // Read: the bytes mReadPos..mReadEnd are still to be taken. Write: the
    // first mFill bytes are still to be sent.
    std::unique_ptr<char[]> mBuffer;
    qint64 mReadPos = 0;
    qint64 mReadEnd = 0;
    qint64 mFill = 0;
    // Writing may go on: a write file, not finished, its connection up.
    bool mWritable = false;
    bool mEndOfData = false;
    // Plain, read: the last wait was short enough that looking again
    // before sleeping pays.
    bool mSpinPays = true;
    // Encrypted: the server closed the connection or sent its close_notify.
    bool mServerClosed = false;
    bool mFinished = false;
    // endWriting() has run; what it found waits for close().
    std::optional<Status> mWritingEnded;
    // The connection was let go at a successful close, and only then.
    bool mReleased = false;
};

} // namespace inet
