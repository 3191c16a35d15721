// How cFTP copes when the server or the local disk lets a transfer down: the
// result, the text a user gets to read, what is left behind on both sides,
// and whether the connection is still good for the next file. Every case
// runs once over an active and once over a passive data connection, as the
// two take different paths through the data channel code.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <tuple>

#include "platform/inet/errors.h"
#include "support/datamode.h"
#include "support/ftpclientfixture.h"
#include "support/qtprint.h"

namespace {

using inet::DataMode;

constexpr qint64 Block = cFTP::TransferBlockBytes;

// Bytes that differ from block to block, so a shifted or repeated block
// cannot compare equal.
QByteArray content(qsizetype size, int seed = 1)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = 2463534242u + static_cast<quint32>(seed);
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = static_cast<char>(x);
    }
    return bytes;
}

QString failure(const QString &label, int code)
{
    return label + QStringLiteral(" error code: ") + QString::number(code) + QStringLiteral(" Message: ")
           + inet::messageText(code);
}

// The fault switches of the server come with each case, so every test
// begins the fixture itself.
class ModeTest : public FtpClientFixture, public ::testing::TestWithParam<DataLink>
{};

// ---------------------------------------------------------------------------
// Uploads the server refuses

class UploadRefused : public ModeTest
{};

// A 550 to STOR comes before any data moved; the user must read the
// server's own words, and the connection must stay in step for the next
// file of the job.
TEST_P(UploadRefused, ServersReplyIsTheTextAndTheNextUploadWorks)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam(), {QStringLiteral("--refuse-stor"), QStringLiteral("1")}));
    const QByteArray data = content(3 * Block + 17);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("up.bin"), data));

    EXPECT_FALSE(upload(QStringLiteral("up.bin"), QStringLiteral("up.bin")));
    EXPECT_EQ(ftp.GetLastErrorMessage(), QStringLiteral("550 Refused by test.\r\n"));
    EXPECT_FALSE(server.exists(QStringLiteral("up.bin")));
    EXPECT_TRUE(events.isEmpty()) << "no data moved, so no progress may be shown";
    EXPECT_FALSE(notes.contains(QStringLiteral("INTERNET CLOSE")));
    EXPECT_EQ(readLocal(QStringLiteral("up.bin")), data) << "the source is never touched";
    ASSERT_TRUE(ftp.isConnected());

    EXPECT_TRUE(upload(QStringLiteral("up.bin"), QStringLiteral("again.bin"))) << error();
    EXPECT_EQ(server.readFile(QStringLiteral("again.bin")), data);
    EXPECT_FALSE(server.exists(QStringLiteral("up.bin")));
}
INSTANTIATE_FOR_EVERY_LINK(UploadRefused);

class UploadDiskFull : public ModeTest
{};

// The 552 only comes once every byte is sent: the last progress event has
// already said "all of it", but the closing note must not claim success,
// and the half-stored file must not stay behind on the server looking like
// a good copy.
TEST_P(UploadDiskFull, FailsAtTheCloseAndRemovesThePartialFile)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam(), {QStringLiteral("--fail-stor-end"), QStringLiteral("1")}));
    const qint64 size = 40 * Block + 100;
    const QByteArray data = content(size);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("big.bin"), data));

    EXPECT_FALSE(upload(QStringLiteral("big.bin"), QStringLiteral("big.bin")));
    EXPECT_EQ(ftp.GetLastErrorMessage(), QStringLiteral("552 Disk full (test).\r\n"));
    EXPECT_FALSE(server.exists(QStringLiteral("big.bin")));
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last(), std::make_pair(size, size));
    EXPECT_TRUE(notes.contains(QStringLiteral("Konec."))) << notes.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(notes.contains(QStringLiteral("INTERNET CLOSE"))) << notes.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(readLocal(QStringLiteral("big.bin")), data);
    ASSERT_TRUE(ftp.isConnected());

    notes.clear();
    EXPECT_TRUE(upload(QStringLiteral("big.bin"), QStringLiteral("big.bin"))) << error();
    EXPECT_EQ(server.readFile(QStringLiteral("big.bin")), data);
    EXPECT_TRUE(notes.contains(QStringLiteral("INTERNET CLOSE")));
}
INSTANTIATE_FOR_EVERY_LINK(UploadDiskFull);

// ---------------------------------------------------------------------------
// Downloads whose data ends early

struct CutShort
{
    const char *name;
    QStringList faults;
    // Whether the server gets it right on the second try (a dropped
    // connection) or keeps sending half the file (one that shrank).
    bool retryWorks;
};

void PrintTo(const CutShort &c, std::ostream *os)
{
    *os << c.name;
}

const CutShort CutShortCases[] = {
    {"DroppedHalfway", {QStringLiteral("--drop-retr"), QStringLiteral("1")}, true},
    {"ShrankAfterListing", {QStringLiteral("--shrink-retr")}, false},
};

class DownloadCutShort : public FtpClientFixture, public ::testing::TestWithParam<std::tuple<DataLink, CutShort>>
{};

// Half a file must never pass for the whole one: the caller deletes the
// server's copy after a successful download. What did arrive is not left
// under the file's name nor in a temporary file, and the control
// connection must have taken the server's reply to the broken transfer so
// that the next command is answered by its own reply.
TEST_P(DownloadCutShort, FailsWithTheReadLabelAndKeepsTheConnectionInStep)
{
    const auto &[mode, c] = GetParam();
    ASSERT_NO_FATAL_FAILURE(begin(mode, c.faults));
    const qint64 size = 100000;
    const QByteArray data = content(size);
    server.writeFile(QStringLiteral("data.bin"), data);

    EXPECT_FALSE(download(QStringLiteral("data.bin"), QStringLiteral("data.bin")));
    const QString text = ftp.GetLastErrorMessage();
    if (c.retryWorks)
        EXPECT_TRUE(text.startsWith(QStringLiteral("InternetReadFile error code: "))) << text.toStdString();
    else
        EXPECT_TRUE(text.startsWith(QStringLiteral("InternetReadFile error code: "))
                    || text.startsWith(QStringLiteral("InternetReadFile2 error code: ")))
            << text.toStdString();
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList()) << "no partial file";
    EXPECT_EQ(server.readFile(QStringLiteral("data.bin")), data);
    ASSERT_FALSE(events.isEmpty());
    EXPECT_LE(events.last().first, size / 2 + Block);
    EXPECT_NE(events.last(), std::make_pair(size, size)) << "the progress must not show a finished file";
    ASSERT_TRUE(ftp.isConnected()) << "only the data connection broke";

    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("data.bin")), size) << error();
    if (c.retryWorks) {
        EXPECT_TRUE(download(QStringLiteral("data.bin"), QStringLiteral("data.bin"))) << error();
        EXPECT_EQ(readLocal(QStringLiteral("data.bin")), data);
    } else {
        EXPECT_FALSE(download(QStringLiteral("data.bin"), QStringLiteral("data.bin")));
        EXPECT_TRUE(ftp.isConnected());
    }
}

INSTANTIATE_ROWS_FOR_EVERY_LINK(Faults, DownloadCutShort, CutShortCases);

// ---------------------------------------------------------------------------
// Servers that go quiet

struct Stall
{
    const char *name;
    QStringList faults;
};

void PrintTo(const Stall &c, std::ostream *os)
{
    *os << c.name;
}

const Stall StallCases[] = {
    {"NoReplyToRetr", {QStringLiteral("--stall"), QStringLiteral("RETR")}},
    {"NoDataOnTheDataConnection", {QStringLiteral("--stall-data")}},
};

class DownloadStalls : public FtpClientFixture, public ::testing::TestWithParam<std::tuple<DataLink, Stall>>
{};

// A job runs unattended: a silent server must cost no more than the
// timeout, and afterwards the object is either honest about having lost
// the connection or still in step with the server.
TEST_P(DownloadStalls, TimesOutWithinTheTimeoutAndRecovers)
{
    const auto &[mode, c] = GetParam();
    ASSERT_NO_FATAL_FAILURE(begin(mode, c.faults));
    const QByteArray data = content(20 * Block);
    server.writeFile(QStringLiteral("slow.bin"), data);

    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(download(QStringLiteral("slow.bin"), QStringLiteral("slow.bin")));
    EXPECT_LT(clock.elapsed(), ShortTimeoutMs + 2000);
    const QString text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(text.contains(QStringLiteral(" error code: 12002 Message: ") + inet::messageText(inet::ErrorTimeout)))
        << text.toStdString();
    EXPECT_EQ(QFileInfo(localPath(QStringLiteral("slow.bin"))).size(), 0) << "nothing was sent";
    EXPECT_NE(events.isEmpty() ? std::make_pair(qint64(-1), qint64(-1)) : events.last(),
              std::make_pair(qint64(data.size()), qint64(data.size())));
    EXPECT_EQ(server.readFile(QStringLiteral("slow.bin")), data);

    if (ftp.isConnected()) {
        EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("slow.bin")), data.size()) << error();
    }
    ASSERT_TRUE(connect()) << error();
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("slow.bin")), data.size()) << error();
}

INSTANTIATE_ROWS_FOR_EVERY_LINK(Faults, DownloadStalls, StallCases);

// ---------------------------------------------------------------------------
// Servers that hang up

struct HangUp
{
    const char *name;
    const char *command;
    // A download, or else a delete, of the file the server hangs up on.
    bool download;
    // The label the text must start with; empty where any transfer label
    // will do.
    QString label;
};

void PrintTo(const HangUp &c, std::ostream *os)
{
    *os << c.name;
}

const HangUp HangUpCases[] = {
    {"Retr", "RETR", true, QString()},
    {"Dele", "DELE", false, QStringLiteral("DeleteFTPFile")},
};

class ServerHangsUp : public FtpClientFixture, public ::testing::TestWithParam<std::tuple<DataLink, HangUp>>
{};

// A 421 is the server's goodbye: the connection is gone, and the object
// must say so rather than send the next command into a dead socket and
// report some other error.
TEST_P(ServerHangsUp, FailsWith12030AndIsNotConnectedAfterwards)
{
    const auto &[mode, c] = GetParam();
    ASSERT_NO_FATAL_FAILURE(begin(mode, {QStringLiteral("--close-after"), QString::fromLatin1(c.command)}));
    const QByteArray data = content(10 * Block);
    server.writeFile(QStringLiteral("f.bin"), data);

    EXPECT_FALSE(c.download ? download(QStringLiteral("f.bin"), QStringLiteral("f.bin"))
                            : ftp.DeleteFTPFile(QStringLiteral("f.bin")));
    const QString text = ftp.GetLastErrorMessage();
    if (c.label.isEmpty())
        EXPECT_TRUE(text.contains(QStringLiteral(" error code: 12030 Message: ")
                                  + inet::messageText(inet::ErrorConnectionAborted)))
            << text.toStdString();
    else
        EXPECT_EQ(text, failure(c.label, inet::ErrorConnectionAborted));
    EXPECT_FALSE(ftp.isConnected());
    EXPECT_EQ(server.readFile(QStringLiteral("f.bin")), data);
    EXPECT_EQ(QFileInfo(localPath(QStringLiteral("f.bin"))).size(), 0) << "nothing was received";

    EXPECT_FALSE(ftp.DeleteFTPFile(QStringLiteral("f.bin")));
    EXPECT_EQ(ftp.GetLastErrorMessage(), failure(QStringLiteral("DeleteFTPFile"), inet::ErrorIncorrectHandleState));
    EXPECT_TRUE(server.exists(QStringLiteral("f.bin")));
    ASSERT_TRUE(connect()) << error();
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("f.bin")), data.size()) << error();
}

INSTANTIATE_ROWS_FOR_EVERY_LINK(Faults, ServerHangsUp, HangUpCases);

// ---------------------------------------------------------------------------
// Data connections the server refuses

class DataConnectionRefused : public ModeTest
{};

// A data connection set up ahead of its transfer, and refused, fails that
// transfer with the very text it would have had without the set-up ahead,
// leaves nothing behind and the connection good for what follows.
TEST_P(DataConnectionRefused, AheadFailsTheTransferWithItsOwnText)
{
    const DataLink link = GetParam();
    ASSERT_NO_FATAL_FAILURE(begin(link, {link.mode == DataMode::Active ? QStringLiteral("--refuse-active")
                                                                       : QStringLiteral("--refuse-passive")}));
    const QByteArray data = content(3 * Block);
    server.writeFile(QStringLiteral("f.bin"), data);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("u.bin"), data));

    for (const bool isUpload : {false, true}) {
        SCOPED_TRACE(isUpload ? "upload" : "download");
        const auto transfer = [&] {
            return isUpload ? upload(QStringLiteral("u.bin"), QStringLiteral("u.bin"))
                            : download(QStringLiteral("f.bin"), QStringLiteral("f.bin"));
        };
        EXPECT_FALSE(transfer());
        const QString unprepared = ftp.GetLastErrorMessage();
        EXPECT_FALSE(unprepared.isEmpty());
        ftp.PrepareTransferAhead();
        EXPECT_FALSE(transfer());
        EXPECT_EQ(ftp.GetLastErrorMessage(), unprepared);
        EXPECT_FALSE(server.exists(QStringLiteral("u.bin")));
        EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("f.bin"))));
        ASSERT_TRUE(ftp.isConnected());
        EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("f.bin")), data.size()) << error();
    }
}
INSTANTIATE_FOR_EVERY_LINK(DataConnectionRefused);

// ---------------------------------------------------------------------------
// Names that would smuggle a second command

class LineBreakInName : public ModeTest
{};

// A remote name comes from the settings or from a listing; one carrying a
// line break would have the server run whatever follows it. Each operation
// must refuse it before a byte is sent, with the plain code 87 and so no
// text after " Message: ", and the connection must stay good.
TEST_P(LineBreakInName, IsRefusedBeforeAnythingReachesTheServer)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam(), {}));
    const QByteArray victim = content(100);
    server.writeFile(QStringLiteral("victim.txt"), victim);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("src.bin"), content(2 * Block)));

    struct
    {
        const char *what;
        std::function<bool()> run;
        QString expected;
    } const cases[] = {
        {"delete", [&] { return ftp.DeleteFTPFile(QStringLiteral("a\r\nDELE victim.txt")); },
         QStringLiteral("DeleteFTPFile error code: 87 Message: ")},
        {"delete, bare LF", [&] { return ftp.DeleteFTPFile(QStringLiteral("a\nDELE victim.txt")); },
         QStringLiteral("DeleteFTPFile error code: 87 Message: ")},
        {"upload", [&] { return upload(QStringLiteral("src.bin"), QStringLiteral("up.bin\nDELE victim.txt")); },
         QStringLiteral("FtpOpenFile:PutFile error code: 87 Message: ")},
        {"upload, CR LF",
         [&] { return upload(QStringLiteral("src.bin"), QStringLiteral("up.bin\r\nDELE victim.txt")); },
         QStringLiteral("FtpOpenFile:PutFile error code: 87 Message: ")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        events.clear();
        EXPECT_FALSE(c.run());
        EXPECT_EQ(ftp.GetLastErrorMessage(), c.expected);
        EXPECT_TRUE(events.isEmpty());
        EXPECT_TRUE(server.exists(QStringLiteral("victim.txt")));
        EXPECT_TRUE(ftp.isConnected());
    }

    // A listing of such a pattern is just empty; in the folder part the
    // break would go out with MLSD or LIST, in the name part it is only
    // matched here, and both must come to nothing.
    EXPECT_EQ(ftp.GetFTPdir(QStringLiteral("*\r\nDELE victim.txt")), QString());
    EXPECT_EQ(ftp.GetFTPdir(QStringLiteral("*\nDELE victim.txt"), true), QString());
    EXPECT_EQ(ftp.GetFTPdir(QStringLiteral("x\r\nDELE victim.txt\r\n/*")), QString());
    EXPECT_EQ(ftp.GetFTPdir(QStringLiteral("x\nDELE victim.txt\n/*"), true), QString());
    EXPECT_TRUE(server.exists(QStringLiteral("victim.txt")));
    EXPECT_EQ(QDir(server.root()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList{"victim.txt"})
        << "no upload may have created a file under any part of the name";

    // The same connection still answers the harmless forms of the same calls.
    EXPECT_EQ(ftp.GetFTPdir(QStringLiteral("*")), QStringLiteral("victim.txt")) << error();
    EXPECT_TRUE(ftp.DeleteFTPFile(QStringLiteral("victim.txt"))) << error();
    EXPECT_FALSE(server.exists(QStringLiteral("victim.txt")));
}
INSTANTIATE_FOR_EVERY_LINK(LineBreakInName);

// ---------------------------------------------------------------------------
// One operation at a time

class SecondOperation : public ModeTest
{};

// The progress signal lets the window run its events in the middle of a
// transfer, and a click there may start another command. The connection is
// carrying the file: the command must be refused with 12110, must not
// reach the server, and must not disturb the transfer.
TEST_P(SecondOperation, DuringADownloadIsRefusedAndTheDownloadCompletes)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam(), {}));
    const QByteArray data = content(200 * Block + 33);
    server.writeFile(QStringLiteral("long.bin"), data);
    server.writeFile(QStringLiteral("x"), "keep me");

    bool called = false;
    bool result = true;
    QString text;
    QObject::connect(&ftp, &cFTP::FileTransferProgress, [&](qint64, qint64) {
        if (called)
            return;
        called = true;
        result = ftp.DeleteFTPFile(QStringLiteral("x"));
        text = ftp.GetLastErrorMessage();
    });

    EXPECT_TRUE(download(QStringLiteral("long.bin"), QStringLiteral("long.bin"))) << error();
    ASSERT_TRUE(called);
    EXPECT_FALSE(result);
    EXPECT_EQ(text, failure(QStringLiteral("DeleteFTPFile"), inet::ErrorTransferInProgress));
    EXPECT_EQ(readLocal(QStringLiteral("long.bin")), data);
    EXPECT_TRUE(server.exists(QStringLiteral("x")));
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last(), std::make_pair(qint64(data.size()), qint64(data.size())));

    // Once the file is closed the connection takes commands again.
    EXPECT_TRUE(ftp.DeleteFTPFile(QStringLiteral("x"))) << error();
    EXPECT_FALSE(server.exists(QStringLiteral("x")));
}
INSTANTIATE_FOR_EVERY_LINK(SecondOperation);

// ---------------------------------------------------------------------------
// The local side fails

class LocalFileFault : public ModeTest
{};

// A download folder that is not there: the text must say which path, and
// the remote file opened for it must be let go so that the next download of
// the job runs on the same connection.
TEST_P(LocalFileFault, DownloadIntoAMissingFolderNamesThePathAndLeavesNothingOpen)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam(), {}));
    const QByteArray data = content(300 * Block + 1);
    server.writeFile(QStringLiteral("d.bin"), data);

    const QString missing = localPath(QStringLiteral("no-such-folder/d.bin"));
    QString l = missing;
    QString r = QStringLiteral("d.bin");
    EXPECT_FALSE(ftp.FTPDownloadFile(l, r));
    const QString text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(text.contains(missing)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" error code: "))) << text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(localPath(QStringLiteral("no-such-folder"))));
    EXPECT_EQ(server.readFile(QStringLiteral("d.bin")), data);
    EXPECT_NE(events.isEmpty() ? std::make_pair(qint64(-1), qint64(-1)) : events.last(),
              std::make_pair(qint64(data.size()), qint64(data.size())));
    ASSERT_TRUE(ftp.isConnected());

    EXPECT_TRUE(download(QStringLiteral("d.bin"), QStringLiteral("d.bin"))) << error();
    EXPECT_EQ(readLocal(QStringLiteral("d.bin")), data);
}

// A source that is not there must not leave an empty file on the server,
// which the next run would take for the real one.
TEST_P(LocalFileFault, UploadOfAMissingFileNamesThePathAndCreatesNothingRemotely)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam(), {}));
    const QString missing = localPath(QStringLiteral("gone.bin"));
    QString l = missing;
    QString r = QStringLiteral("gone.bin");
    EXPECT_FALSE(ftp.FTPUploadFile(l, r));
    const QString text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(text.contains(missing)) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral(" error code: "))) << text.toStdString();
    EXPECT_FALSE(server.exists(QStringLiteral("gone.bin")));
    EXPECT_TRUE(QDir(server.root()).isEmpty());
    EXPECT_TRUE(events.isEmpty());
    ASSERT_TRUE(ftp.isConnected());

    const QByteArray data = content(5 * Block);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("here.bin"), data));
    EXPECT_TRUE(upload(QStringLiteral("here.bin"), QStringLiteral("gone.bin"))) << error();
    EXPECT_EQ(server.readFile(QStringLiteral("gone.bin")), data);
}
INSTANTIATE_FOR_EVERY_LINK(LocalFileFault);

} // namespace
