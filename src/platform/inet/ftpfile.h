#pragma once

#include <QByteArray>

#include <memory>

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
class FtpFile
{
public:
    FtpFile(ConnectionLink &link, std::unique_ptr<QSslSocket> data, FileAccess access);
    // Abandons the transfer if it was not closed, and frees the connection.
    ~FtpFile();

    // Up to size bytes into data: the count, 0 at the end of the data, -1
    // on failure (lastError() set).
    [[nodiscard]] qint64 read(char *data, qint64 size);
    // All size bytes, or false on failure.
    [[nodiscard]] bool write(const char *data, qint64 size);

    // Ends the transfer: a written file is flushed and its data connection
    // closed; a read file must have reached the end of its data. Then the
    // server's final reply is read. Anything but a positive completion
    // (552 disk full, 426 aborted, a dropped connection) makes it fail.
    [[nodiscard]] bool close();

    Result<qint64> readSome(char *data, qint64 size);
    Status writeAll(const char *data, qint64 size);
    Status finish();

private:
    Status fill();
    [[nodiscard]] bool takeDecrypted();
    [[nodiscard]] bool dataMayFollow() const;
    [[nodiscard]] bool waitForData();
    Status flush(qint64 highWater);
    [[nodiscard]] qint64 unsent() const;
    Status endUpload();
    Status endDownload();
    void abandon();

    ConnectionLink &mLink;
    std::unique_ptr<QSslSocket> mData;
    FileAccess mAccess;
    QByteArray mBuffer;
    qint64 mBufferPos = 0;
    bool mEndOfData = false;
    bool mServerClosed = false;
    bool mFinished = false;
};

} // namespace inet
