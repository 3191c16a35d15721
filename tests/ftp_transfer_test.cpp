#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include "support/ftpclientfixture.h"
#include "support/qtprint.h"

namespace {

using Event = std::pair<qint64, qint64>;

// The events a transfer of size bytes raises: one per full 255-byte block,
// then the closing one.
QList<Event> expectedEvents(qint64 size)
{
    QList<Event> events;
    for (qint64 done = 255; done <= size; done += 255)
        events.append({done, size});
    events.append({size, size});
    return events;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    auto *words = reinterpret_cast<quint32 *>(bytes.data());
    QRandomGenerator generator(size);
    generator.fillRange(words, size / 4);
    for (qsizetype i = size / 4 * 4; i < size; ++i)
        bytes[i] = char(generator.generate());
    return bytes;
}

class EventSequence : public FtpClientTest
{};

TEST_P(EventSequence, UploadsAndDownloadsRaiseOneEventPerBlockAndAClosingOne)
{
    for (qint64 size : {0, 100, 255, 256, 300, 510, 1000}) {
        SCOPED_TRACE(size);
        const QByteArray data = randomBytes(size);
        const QString name = QStringLiteral("f%1.bin").arg(size);
        writeLocal(name, data);

        events.clear();
        notes.clear();
        QString l = localPath(name);
        QString r = QStringLiteral("/") + name;
        ASSERT_TRUE(ftp.FTPUploadFile(l, r)) << ftp.GetLastErrorMessage().toStdString();
        EXPECT_EQ(events, expectedEvents(size));
        EXPECT_EQ(notes, (QStringList{QStringLiteral("Konec."), QStringLiteral("INTERNET CLOSE")}));
        EXPECT_EQ(server.readFile(name), data);

        events.clear();
        notes.clear();
        QString back = localPath(name + QStringLiteral(".back"));
        ASSERT_TRUE(ftp.FTPDownloadFile(back, r)) << ftp.GetLastErrorMessage().toStdString();
        EXPECT_EQ(events, expectedEvents(size));
        EXPECT_TRUE(notes.isEmpty()) << "a download leaves the time-left line to the progress display";
        EXPECT_EQ(readLocal(name + QStringLiteral(".back")), data);
    }
    EXPECT_EQ(sleeps, QList<int>(7, 1000)) << "one settling pause per successful upload";
}

TEST_P(EventSequence, LargeFileArrivesByteIdentical)
{
    const QByteArray data = randomBytes(5 * 1024 * 1024 + 17);
    server.writeFile(QStringLiteral("big.bin"), data);
    QString l = localPath(QStringLiteral("big.bin"));
    QString r = QStringLiteral("/big.bin");
    ASSERT_TRUE(ftp.FTPDownloadFile(l, r)) << ftp.GetLastErrorMessage().toStdString();
    EXPECT_EQ(QCryptographicHash::hash(readLocal(QStringLiteral("big.bin")), QCryptographicHash::Sha256),
              QCryptographicHash::hash(data, QCryptographicHash::Sha256));
    EXPECT_EQ(events.size(), data.size() / 255 + 1);

    QString up = QStringLiteral("/copy.bin");
    ASSERT_TRUE(ftp.FTPUploadFile(l, up)) << ftp.GetLastErrorMessage().toStdString();
    EXPECT_EQ(QCryptographicHash::hash(server.readFile(QStringLiteral("copy.bin")), QCryptographicHash::Sha256),
              QCryptographicHash::hash(data, QCryptographicHash::Sha256));
}

TEST_P(EventSequence, PathsAreStrippedOfBlanksAndHandedBack)
{
    server.writeFile(QStringLiteral("a.txt"), "abc");
    QString l = QStringLiteral("  ") + localPath(QStringLiteral("a.txt")) + QStringLiteral(" ");
    QString r = QStringLiteral(" /a.txt  ");
    ASSERT_TRUE(ftp.FTPDownloadFile(l, r)) << ftp.GetLastErrorMessage().toStdString();
    EXPECT_EQ(l, localPath(QStringLiteral("a.txt")));
    EXPECT_EQ(r, QStringLiteral("/a.txt"));
}

TEST_P(EventSequence, EmptyPathsFailWithoutEventOrText)
{
    QString blank = QStringLiteral("   ");
    QString some = QStringLiteral("/a.txt");
    EXPECT_FALSE(ftp.FTPUploadFile(blank, some));
    EXPECT_FALSE(ftp.FTPDownloadFile(some, blank));
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(ftp.GetLastErrorMessage(), QString());
}

TEST_P(EventSequence, DownloadReplacesALongerLocalFileWhole)
{
    writeLocal(QStringLiteral("a.txt"), QByteArray(5000, 'x'));
    server.writeFile(QStringLiteral("a.txt"), "short");
    QString l = localPath(QStringLiteral("a.txt"));
    QString r = QStringLiteral("/a.txt");
    ASSERT_TRUE(ftp.FTPDownloadFile(l, r));
    EXPECT_EQ(readLocal(QStringLiteral("a.txt")), QByteArray("short"));
}

TEST_P(EventSequence, MissingRemoteFileHasATextOfItsOwn)
{
    QString l = localPath(QStringLiteral("none.txt"));
    QString r = QStringLiteral("/none.txt");
    EXPECT_FALSE(ftp.FTPDownloadFile(l, r));
    EXPECT_TRUE(events.isEmpty());
    EXPECT_FALSE(QFile::exists(l)) << "no local file for a missing remote one";
    const QString text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(text.startsWith(QStringLiteral("FtpFindFirstFile error code: 18 Message: "))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("/none.txt"))) << text.toStdString();
}

TEST_P(EventSequence, TransferWithoutConnectionFailsAtTheRemoteOpen)
{
    ftp.CloseConnection();
    writeLocal(QStringLiteral("a.txt"), "abc");
    QString l = localPath(QStringLiteral("a.txt"));
    QString r = QStringLiteral("/a.txt");
    EXPECT_FALSE(ftp.FTPUploadFile(l, r));
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(QStringLiteral("FtpOpenFile:PutFile error code: ")));
    EXPECT_TRUE(events.isEmpty());
}

// The window runs its events between blocks; a handler there that drops the
// connection must fail the transfer, not crash it.
TEST_P(EventSequence, ConnectionClosedFromAProgressHandler)
{
    server.writeFile(QStringLiteral("d.bin"), QByteArray(2000, 'd'));
    writeLocal(QStringLiteral("u.bin"), QByteArray(2000, 'u'));
    QObject::connect(&ftp, &cFTP::FileTransferProgress, [this](qint64 current, qint64) {
        if (current == 510)
            ftp.CloseConnection();
    });
    QString l = localPath(QStringLiteral("d.bin"));
    QString r = QStringLiteral("/d.bin");
    EXPECT_FALSE(ftp.FTPDownloadFile(l, r));
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(QStringLiteral("InternetReadFile error code: 12030 ")));

    ASSERT_TRUE(connect());
    l = localPath(QStringLiteral("u.bin"));
    r = QStringLiteral("/u.bin");
    EXPECT_FALSE(ftp.FTPUploadFile(l, r));
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(QStringLiteral("InternetWriteFile error code: 12030 ")));
    EXPECT_FALSE(ftp.isConnected());
}

INSTANTIATE_FOR_BOTH_MODES(EventSequence);

} // namespace
