#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// The local side of a streamed transfer. The transfer moves 255 bytes at a
// time; the disk is read and written here in large blocks instead, with no
// further buffer of Qt's in between.

class LocalSource
{
public:
    explicit LocalSource(const QString &path) : mFile(path) {}
    bool open();
    qint64 size() const { return mFile.size(); }
    // Exactly size bytes, or false when the file ends first or cannot be read.
    bool read(char *data, qint64 size);
    void close() { mFile.close(); }
    const QFile &file() const { return mFile; }

private:
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
    bool write(const char *data, qint64 size);
    // Everything written so far to the file and on to stable storage.
    bool commit();
    // Writes out what has been received and closes, as after a failure.
    void close();
    const QFile &file() const { return mFile; }

private:
    bool writeOut();

    QFile mFile;
    QByteArray mBuffer;
    qint64 mSinceWriteBehind = 0;
};
