#pragma once

#include <QByteArray>

#include <memory>

class QSslSocket;

namespace inet {

class FtpConnection;

enum class FileAccess { Read, Write };

// A remote file open for one transfer (RETR or STOR). The caller may read or
// write a few bytes at a time; the socket is only ever asked for, or given,
// large blocks. While the file is open its connection runs nothing else.
class FtpFile
{
public:
    FtpFile(FtpConnection &connection, std::unique_ptr<QSslSocket> data, FileAccess access);
    // Abandons the transfer if it was not closed.
    ~FtpFile();

    // Up to size bytes into data: the count, 0 at the end of the data, -1
    // on failure (lastError() set).
    qint64 read(char *data, qint64 size);
    // All size bytes, or false on failure.
    bool write(const char *data, qint64 size);

    // Ends the transfer: a written file is flushed and its data connection
    // closed; a read file must have reached the end of its data. Then the
    // server's final reply is read. Anything but a positive completion
    // (552 disk full, 426 aborted, a dropped connection) makes it fail.
    bool close();

private:
    bool fill();
    bool flush(qint64 highWater);
    void abandon();

    FtpConnection &mConnection;
    std::unique_ptr<QSslSocket> mData;
    FileAccess mAccess;
    QByteArray mBuffer;
    qint64 mBufferPos = 0;
    bool mEndOfData = false;
    bool mFinished = false;
};

} // namespace inet
