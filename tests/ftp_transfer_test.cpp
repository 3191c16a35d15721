#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <functional>

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

// The settling pause after an upload's last block is not lost time: the
// last bytes go out, the server stores the file and says so, and the size it
// stored is asked for, all in the pause, where an idle server may take its
// time; and a connection lost in the pause leaves the whole file behind.
TEST_P(EventSequence, AnUploadIsStoredAndCheckedInItsSettlingPause)
{
    // Within the transfer's own block, and beyond it.
    for (qint64 size : {1000, 300 * 1024}) {
        SCOPED_TRACE(size);
        const QByteArray data = randomBytes(size);
        const QString name = QStringLiteral("settled%1.bin").arg(size);
        writeLocal(name, data);
        server.clearTranscript();
        QByteArray seen;
        QStringList asked;
        ftp.SetPacing([](int) {},
                      [&](int ms) {
                          sleeps.append(ms);
                          seen = server.readFile(name);
                          asked = server.transcript();
                      });
        QString l = localPath(name);
        QString r = QStringLiteral("/") + name;
        ASSERT_TRUE(ftp.FTPUploadFile(l, r)) << ftp.GetLastErrorMessage().toStdString();
        EXPECT_EQ(seen.size(), data.size());
        EXPECT_TRUE(seen == data);
        EXPECT_TRUE(asked.contains(QStringLiteral("MLST /") + name)) << asked.join(QStringLiteral(" | ")).toStdString();
        EXPECT_EQ(server.transcript().count(QStringLiteral("MLST /") + name), 1) << "the size is asked for once";
    }
    EXPECT_EQ(sleeps, QList<int>(2, 1000));
}

// A size asked for ahead is only ever used by the very next download, of
// the same name, on the same connection: one that is not taken is dropped,
// never kept for a later download of a file that may have changed since.
TEST_P(EventSequence, SizeAskedAheadIsForTheNextDownloadOnly)
{
    struct Case
    {
        const char *name;
        std::function<void()> between; // after the size is asked for, before the file changes
    };
    const Case cases[] = {
        {"another file downloaded first",
         [this] {
             QString l = localPath(QStringLiteral("other.bin"));
             QString r = QStringLiteral("/other.bin");
             ASSERT_TRUE(ftp.FTPDownloadFile(l, r)) << ftp.GetLastErrorMessage().toStdString();
         }},
        {"a new connection", [this] { ASSERT_TRUE(connect()) << ftp.GetLastErrorMessage().toStdString(); }},
    };
    server.writeFile(QStringLiteral("other.bin"), "other");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server.writeFile(QStringLiteral("grows.bin"), "short");
        ftp.AskFileSizeAhead(QStringLiteral("/grows.bin"));
        c.between();
        const QByteArray grown(700, 'g');
        server.writeFile(QStringLiteral("grows.bin"), grown);
        QString l = localPath(QStringLiteral("grows.bin"));
        QString r = QStringLiteral("/grows.bin");
        ASSERT_TRUE(ftp.FTPDownloadFile(l, r)) << ftp.GetLastErrorMessage().toStdString();
        EXPECT_TRUE(readLocal(QStringLiteral("grows.bin")) == grown);
    }
}

// A data connection set up ahead (in the pause before a file) is the next
// transfer's, whatever happened on the connection in between: a listing with
// a data connection of its own, a transfer that failed before its command,
// the window's events taken in while it waited (a server may connect to us
// as soon as it hears PORT). Each file still arrives whole.
TEST_P(EventSequence, ADataConnectionSetUpAheadServesTheNextTransfer)
{
    struct Case
    {
        const char *name;
        std::function<void()> between; // after the set-up, before the transfer
        bool upload;
        bool takesTheOneSetUp; // no other data connection is set up
    };
    const auto nothing = [] {};
    const Case cases[] = {
        {"download", nothing, false, true},
        {"upload", nothing, true, true},
        {"a listing first",
         [this] {
             const std::optional<QStringList> names = ftp.GetFTPNames(QStringLiteral("/*.bin"), true);
             ASSERT_TRUE(names.has_value()) << error();
             EXPECT_TRUE(names->contains(QStringLiteral("ahead.bin")));
         },
         false, false},
        {"an upload that failed before its command",
         [this] {
             QString missing = localPath(QStringLiteral("missing.bin"));
             QString r = QStringLiteral("/missing.bin");
             EXPECT_FALSE(ftp.FTPUploadFile(missing, r));
         },
         true, true},
        {"window events taken in", [] { QCoreApplication::processEvents(); }, false, true},
        {"set up again", [this] { ftp.PrepareTransferAhead(); }, true, false},
    };
    static const QRegularExpression setUp(QStringLiteral("^(EPSV|PASV|PORT|EPRT)\\b"));
    const QByteArray data = randomBytes(3000);
    server.writeFile(QStringLiteral("ahead.bin"), data);
    writeLocal(QStringLiteral("ahead.bin"), data);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        server.clearTranscript();
        ftp.PrepareTransferAhead();
        EXPECT_EQ(server.transcript().filter(setUp).size(), 1) << "set up before the transfer is asked for";
        c.between();
        if (c.upload) {
            ASSERT_TRUE(upload(QStringLiteral("ahead.bin"), QStringLiteral("/up.bin"))) << error();
            EXPECT_TRUE(server.readFile(QStringLiteral("up.bin")) == data);
            QFile::remove(server.root() + QStringLiteral("/up.bin"));
        } else {
            ASSERT_TRUE(download(QStringLiteral("/ahead.bin"), QStringLiteral("down.bin"))) << error();
            EXPECT_TRUE(readLocal(QStringLiteral("down.bin")) == data);
            QFile::remove(localPath(QStringLiteral("down.bin")));
        }
        if (c.takesTheOneSetUp) {
            EXPECT_EQ(server.transcript().filter(setUp).size(), 1)
                << server.transcript().join(QStringLiteral(" | ")).toStdString();
        }
    }
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

INSTANTIATE_FOR_EVERY_LINK(EventSequence);

// ---------------------------------------------------------------------------
// Where a transfer lets the window in, and what a failed one leaves behind

// A transfer gives the window its events, its pauses and its notes at fixed
// points: "Zapri" and the redraws of a busy job depend on them. The trace
// reads "p" for a pump (p3 for three in a row), "e" for a progress event,
// "s" for a pause and [text] for a note to the time-left line.
class PacingTrace : public FtpClientTest
{
protected:
    void SetUp() override
    {
        FtpClientTest::SetUp();
        ftp.SetPacing(
            [this](int times) {
                for (int i = 0; i < times; ++i)
                    trace.append(QStringLiteral("p"));
            },
            [this](int ms) {
                trace.append(QStringLiteral("s%1").arg(ms));
                if (onSleep)
                    onSleep();
            });
        QObject::connect(&ftp, &cFTP::FileTransferProgress, [this](qint64 current, qint64 total) {
            trace.append(QStringLiteral("e%1/%2").arg(current).arg(total));
            if (current == closeAtEvent && !closed) {
                closed = true;
                ftp.CloseConnection();
            }
        });
        QObject::connect(&ftp, &cFTP::transferNote,
                         [this](const QString &text) { trace.append(QLatin1Char('[') + text + QLatin1Char(']')); });
    }

    void reset()
    {
        trace.clear();
        onSleep = nullptr;
        closeAtEvent = -1;
        closed = false;
    }

    std::string shown() const
    {
        QStringList out;
        int pumps = 0;
        auto flush = [&] {
            if (pumps > 0)
                out.append(pumps == 1 ? QStringLiteral("p") : QStringLiteral("p%1").arg(pumps));
            pumps = 0;
        };
        for (const QString &token : trace) {
            if (token == QLatin1String("p")) {
                ++pumps;
                continue;
            }
            flush();
            out.append(token);
        }
        flush();
        return out.join(QLatin1Char(' ')).toStdString();
    }

    QStringList trace;
    std::function<void()> onSleep;
    qint64 closeAtEvent = -1;
    bool closed = false;
};

TEST_P(PacingTrace, SuccessfulTransfersLetTheWindowInAtFixedPoints)
{
    const struct
    {
        bool upload;
        qint64 size;
        const char *trace;
    } cases[] = {
        {true, 0, "e0/0 [Konec.] p s1000 p2 [INTERNET CLOSE] p"},
        {true, 100, "e100/100 [Konec.] p s1000 p2 [INTERNET CLOSE] p"},
        {true, 255, "p e255/255 p e255/255 [Konec.] p s1000 p2 [INTERNET CLOSE] p"},
        {true, 300, "p e255/300 p e300/300 [Konec.] p s1000 p2 [INTERNET CLOSE] p"},
        {true, 510, "p e255/510 p2 e510/510 p e510/510 [Konec.] p s1000 p2 [INTERNET CLOSE] p"},
        {false, 0, "p5 e0/0 p4"},
        {false, 100, "p8 e100/100 p4"},
        {false, 255, "p7 e255/255 p2 e255/255 p4"},
        {false, 300, "p7 e255/300 p5 e300/300 p4"},
        {false, 510, "p7 e255/510 p4 e510/510 p2 e510/510 p4"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.upload ? "upload of " : "download of ") + std::to_string(c.size));
        const QString name = QStringLiteral("f%1.bin").arg(c.size);
        const QByteArray data = randomBytes(c.size);
        if (c.upload)
            writeLocal(name, data);
        else
            server.writeFile(name, data);
        reset();
        QString l = localPath(name);
        QString r = name;
        ASSERT_TRUE(c.upload ? ftp.FTPUploadFile(l, r) : ftp.FTPDownloadFile(l, r))
            << ftp.GetLastErrorMessage().toStdString();
        EXPECT_EQ(shown(), c.trace);
    }
}

enum class Remote { Absent, Kept };
enum class Source { Present, Missing, FolderMissing };

// One way for a transfer to fail, and what it must leave: its trace up to
// the return, the start of its text, the file on the other side, and the
// connection. A connection that is still there must take the next command:
// the failed file has let go of it.
struct FailedTransfer
{
    const char *name;
    bool upload;
    qint64 size;
    QStringList faults = {};
    Source source = Source::Present;
    qint64 closeAtEvent = -1;  // the window drops the connection at this event
    bool closeInPause = false; // ... or in the upload's settling pause
    const char *trace = "";
    QString text = {};
    Remote remote = Remote::Absent; // uploads: the server's file afterwards
    qint64 localBytes = -1;         // downloads: the local file afterwards; -1 none (no partial file either)
    bool connected = true;
};

// clang-format off
const FailedTransfer FailedTransfers[] = {
    {.name = "UploadRefusedAtOpen", .upload = true, .size = 300, .faults = {"--refuse-stor", "1"},
     .text = "550 Refused by test.\r\n"},
    {.name = "UploadOfAMissingSource", .upload = true, .size = 300, .source = Source::Missing,
     .text = "LocalFile error code: 2 "},
    {.name = "UploadDroppedAfterABlock", .upload = true, .size = 1000, .closeAtEvent = 510,
     .trace = "p e255/1000 p2 e510/1000 p2", .text = "InternetWriteFile error code: 12030 ",
     .remote = Remote::Kept, .connected = false},
    {.name = "UploadDroppedInTheSettlingPause", .upload = true, .size = 300, .closeInPause = true,
     .trace = "p e255/300 p e300/300 [Konec.] p s1000 p3", .text = "InternetWriteFile2 error code: 12030 ",
     .remote = Remote::Kept, .connected = false},
    {.name = "UploadRefusedAtTheClose", .upload = true, .size = 300, .faults = {"--fail-stor-end", "1"},
     .trace = "p e255/300 p e300/300 [Konec.] p s1000 p3", .text = "552 Disk full (test).\r\n"},
    {.name = "DownloadOfAMissingFile", .upload = false, .size = -1, .trace = "p",
     .text = "FtpFindFirstFile error code: 18 "},
    {.name = "DownloadIntoAMissingFolder", .upload = false, .size = 300, .source = Source::FolderMissing,
     .trace = "p2", .text = "LocalFile error code: "},
    {.name = "DownloadDroppedAfterABlock", .upload = false, .size = 1000, .closeAtEvent = 510,
     .trace = "p7 e255/1000 p4 e510/1000 p2", .text = "InternetReadFile error code: 12030 ",
     .connected = false},
    {.name = "DownloadDroppedAtTheClosingEvent", .upload = false, .size = 300, .closeAtEvent = 300,
     .trace = "p7 e255/300 p5 e300/300 p2", .text = "InternetReadFile2 error code: 12030 ",
     .connected = false},
};
// clang-format on

TEST_P(PacingTrace, EachFailureLeavesWhatItsPathSays)
{
    for (const FailedTransfer &c : FailedTransfers) {
        SCOPED_TRACE(c.name);
        if (!c.faults.isEmpty() || !ftp.isConnected()) {
            ASSERT_TRUE(startServer(c.faults));
            ASSERT_TRUE(connect()) << ftp.GetLastErrorMessage().toStdString();
        }
        const QString name = QString::fromLatin1(c.name) + QStringLiteral(".bin");
        const QByteArray data = randomBytes(qMax<qint64>(c.size, 0));
        QString l = c.source == Source::FolderMissing ? localPath(QStringLiteral("gone/") + name) : localPath(name);
        QString r = name;
        if (c.upload && c.source == Source::Present)
            writeLocal(name, data);
        if (!c.upload && c.size >= 0)
            server.writeFile(name, data);
        reset();
        closeAtEvent = c.closeAtEvent;
        if (c.closeInPause)
            onSleep = [this] { ftp.CloseConnection(); };

        EXPECT_FALSE(c.upload ? ftp.FTPUploadFile(l, r) : ftp.FTPDownloadFile(l, r));
        EXPECT_EQ(shown(), c.trace);
        const QString text = ftp.GetLastErrorMessage();
        EXPECT_TRUE(text.startsWith(c.text)) << text.toStdString();
        if (c.upload) {
            EXPECT_EQ(c.remote == Remote::Absent, !server.exists(name));
            if (c.source == Source::Present) {
                EXPECT_EQ(readLocal(name), data) << "the source is never touched";
            }
        } else {
            EXPECT_EQ(QFileInfo(l).exists() ? QFileInfo(l).size() : -1, c.localBytes);
            EXPECT_EQ(
                QDir(QFileInfo(l).absolutePath()).entryList({QStringLiteral("*.part")}, QDir::Hidden | QDir::Files),
                QStringList())
                << "what arrived before the failure is not kept";
            if (c.size >= 0) {
                EXPECT_EQ(server.readFile(name), data);
            }
        }
        EXPECT_EQ(ftp.isConnected(), c.connected);
        if (ftp.isConnected()) {
            EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("nothing.here")), -1)
                << ftp.GetLastErrorMessage().toStdString();
        }
    }
}

INSTANTIATE_FOR_EVERY_LINK(PacingTrace);

} // namespace
