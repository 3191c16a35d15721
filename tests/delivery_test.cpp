// What a file must pass before cFTP calls it moved, against a real server
// that lies about sizes and hashes, cuts transfers short or refuses a
// rename where a test asks it to. A file that does not pass must leave
// nothing that could be taken for it: not on the server, not under the
// local name, not in a temporary file, and an older copy stays as it was.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ftp/cftp.h"
#include "platform/inet/errors.h"
#include "support/ftpclientfixture.h"
#include "support/ftplogin.h"
#include "support/paramnames.h"
#include "support/qtprint.h"

namespace {

constexpr qint64 Block = cFTP::TransferBlockBytes;

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

const DeliveryPolicy BySize{};
const DeliveryPolicy ByHash{.verify = DeliveryPolicy::Verify::Hash, .uploadTemporary = false};
const DeliveryPolicy UnderATemporaryName{.verify = DeliveryPolicy::Verify::Size, .uploadTemporary = true};
const DeliveryPolicy ByHashUnderATemporaryName{.verify = DeliveryPolicy::Verify::Hash, .uploadTemporary = true};

class DeliveryFixture : public FtpClientFixture
{
protected:
    void start(const QStringList &faults, const DeliveryPolicy &policy)
    {
        ASSERT_NO_FATAL_FAILURE(begin(inet::DataMode::Active, faults));
        ftp.SetDelivery(policy);
    }

    // Every file of a folder, hidden ones (a ".part") included.
    static QStringList filesIn(const QString &folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    bool put(const QString &localName, const QString &remote) { return ftp.PutFile(localPath(localName), remote); }
    bool get(const QString &remote, const QString &localName) { return ftp.GetFile(localPath(localName), remote); }

    // The commands that asked the server for a hash, in order.
    QStringList hashCommands() const
    {
        QStringList commands;
        for (const QString &line : server.transcript()) {
            if (line.startsWith(QLatin1String("HASH")) || line.startsWith(QLatin1String("OPTS HASH"))
                || line.startsWith(QLatin1String("XSHA")) || line.startsWith(QLatin1String("XMD5")))
                commands.append(line);
        }
        return commands;
    }
};

class Delivery : public DeliveryFixture, public ::testing::Test
{};

// ---------------------------------------------------------------------------
// Hashes: the strongest the server offers, found once per connection

struct HashCase
{
    const char *name;
    QStringList faults;
    const char *verification;
    bool hashUnavailable;
    QStringList commands; // for one upload and one download of /f.bin
};

void PrintTo(const HashCase &c, std::ostream *os)
{
    *os << c.name;
}

class HashOffered : public DeliveryFixture, public ::testing::TestWithParam<HashCase>
{};

TEST_P(HashOffered, IsUsedBothWaysAndFoundOnce)
{
    const HashCase &c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start(c.faults, ByHash));
    const QByteArray data = content(3 * Block + 7);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("f.bin"), data));
    server.clearTranscript();

    ASSERT_TRUE(put(QStringLiteral("f.bin"), QStringLiteral("/f.bin"))) << error();
    EXPECT_EQ(ftp.lastDelivery().verification, QString::fromLatin1(c.verification));
    EXPECT_EQ(ftp.lastDelivery().bytes, data.size());
    EXPECT_EQ(ftp.lastDelivery().hashUnavailable, c.hashUnavailable);
    ASSERT_TRUE(get(QStringLiteral("/f.bin"), QStringLiteral("back.bin"))) << error();
    EXPECT_EQ(ftp.lastDelivery().verification, QString::fromLatin1(c.verification));
    EXPECT_EQ(readLocal(QStringLiteral("back.bin")), data);
    EXPECT_EQ(hashCommands(), c.commands);
}

// clang-format off
const HashCase HashCases[] = {
    {"HashSwitchedToSha256", {"--hash", "feat"}, "size, SHA-256", false,
     {"OPTS HASH SHA-256", "HASH /f.bin", "HASH /f.bin"}},
    {"HashAlreadyOnTheBestItHas", {"--hash", "feat", "--hash-algorithms", "SHA-1,MD5"}, "size, SHA-1", false,
     {"HASH /f.bin", "HASH /f.bin"}},
    {"HashMd5Only", {"--hash", "feat", "--hash-algorithms", "MD5"}, "size, MD5", false,
     {"HASH /f.bin", "HASH /f.bin"}},
    {"XSha256", {"--hash", "x"}, "size, SHA-256", false,
     {"XSHA256", "XSHA256 /f.bin", "XSHA256 /f.bin"}},
    {"XMd5Answering213", {"--hash", "x", "--hash-algorithms", "MD5", "--x-reply", "213"}, "size, MD5", false,
     {"XSHA256", "XSHA1", "XMD5", "XMD5 /f.bin", "XMD5 /f.bin"}},
    {"NoneSoSizeAlone", {}, "size", true, {"XSHA256", "XSHA1", "XMD5"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Servers, HashOffered, ::testing::ValuesIn(HashCases), ByRowName());

// ---------------------------------------------------------------------------
// Checks that fail, and what they leave

struct FailedCheck
{
    const char *name;
    QStringList faults;
    DeliveryPolicy policy;
    bool upload;
    const char *text; // the start of the failure text; @L the local folder
    // Uploads: whether the server's older copy of /f.bin is still there
    // (only a temporary name protects it).
    bool olderRemoteSurvives = false;
};

void PrintTo(const FailedCheck &c, std::ostream *os)
{
    *os << c.name;
}

class CheckFails : public DeliveryFixture, public ::testing::TestWithParam<FailedCheck>
{};

TEST_P(CheckFails, LeavesNothingThatCouldPassForTheFile)
{
    const FailedCheck &c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start(c.faults, c.policy));
    const QByteArray data = content(1000);
    const QByteArray olderRemote = "the server's older copy";
    const QByteArray olderLocal = "the local older copy";
    server.writeFile(QStringLiteral("f.bin"), c.upload ? olderRemote : data);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("f.bin"), c.upload ? data : olderLocal));

    EXPECT_FALSE(c.upload ? put(QStringLiteral("f.bin"), QStringLiteral("/f.bin"))
                          : get(QStringLiteral("/f.bin"), QStringLiteral("f.bin")));
    const QString text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(text.startsWith(QString::fromUtf8(c.text).replace(QStringLiteral("@L"), local.path())))
        << text.toStdString();
    EXPECT_EQ(filesIn(local.path()), QStringList{QStringLiteral("f.bin")}) << "no temporary file stays";
    EXPECT_EQ(readLocal(QStringLiteral("f.bin")), c.upload ? data : olderLocal);
    if (c.upload) {
        EXPECT_EQ(filesIn(server.root()), c.olderRemoteSurvives ? QStringList{QStringLiteral("f.bin")} : QStringList())
            << "a copy that did not pass is not left on the server";
        if (c.olderRemoteSurvives) {
            EXPECT_EQ(server.readFile(QStringLiteral("f.bin")), olderRemote);
        }
    } else {
        EXPECT_EQ(server.readFile(QStringLiteral("f.bin")), data);
    }
    ASSERT_TRUE(ftp.isConnected()) << "the next file of the job runs on the same connection";
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("/none")), -1) << error();
}

const QStringList LyingHash{"--hash", "feat", "--lie-hash"};

// clang-format off
const FailedCheck FailedChecks[] = {
    {"UploadHashDiffers", LyingHash, ByHash, true,
     "Verification failed: the SHA-256 of /f.bin on the server is "},
    {"DownloadHashDiffers", LyingHash, ByHash, false,
     "Verification failed: the SHA-256 of /f.bin on the server is "},
    {"UploadSizeDiffers", {"--lie-size"}, BySize, true,
     "Verification failed: the server has 1001 bytes of /f.bin, but 1000 were sent\r\n"},
    {"UploadDiskFullAtTheEnd", {"--fail-stor-end", "1"}, BySize, true, "552 Disk full (test).\r\n"},
    {"TemporaryUploadDiskFull", {"--fail-stor-end", "1"}, UnderATemporaryName, true,
     "552 Disk full (test).\r\n", true},
    {"TemporaryUploadSizeDiffers", {"--lie-size"}, UnderATemporaryName, true,
     "Verification failed: the server has 1001 bytes of /.f.bin.part, but 1000 were sent\r\n", true},
    {"TemporaryUploadHashDiffers", LyingHash, ByHashUnderATemporaryName, true,
     "Verification failed: the SHA-256 of /.f.bin.part on the server is ", true},
    {"TemporaryUploadRenameRefused", {"--answer", "RNTO=553 Rename refused (test)."}, UnderATemporaryName, true,
     "553 Rename refused (test).\r\n", true},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Checks, CheckFails, ::testing::ValuesIn(FailedChecks), ByRowName());

// ---------------------------------------------------------------------------
// Downloads: the older copy stays whole until the new one is

TEST_F(Delivery, DownloadCutHalfwayKeepsTheOlderCopyByteForByte)
{
    ASSERT_NO_FATAL_FAILURE(start({QStringLiteral("--drop-retr"), QStringLiteral("1")}, BySize));
    const QByteArray data = content(400 * Block + 3);
    const QByteArray older = content(500 * Block, 2);
    server.writeFile(QStringLiteral("f.bin"), data);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("f.bin"), older));

    // Halfway through, the new bytes sit beside the older copy, not in it.
    bool looked = false;
    QObject::connect(&ftp, &cFTP::FileTransferProgress, [&](qint64 current, qint64) {
        if (current != 100 * Block)
            return;
        looked = true;
        EXPECT_EQ(filesIn(local.path()), (QStringList{".f.bin.part", "f.bin"}));
        EXPECT_EQ(readLocal(QStringLiteral("f.bin")), older);
    });
    EXPECT_FALSE(get(QStringLiteral("/f.bin"), QStringLiteral("f.bin")));
    EXPECT_TRUE(looked);
    EXPECT_EQ(readLocal(QStringLiteral("f.bin")), older);
    EXPECT_EQ(filesIn(local.path()), QStringList{QStringLiteral("f.bin")});

    EXPECT_TRUE(get(QStringLiteral("/f.bin"), QStringLiteral("f.bin"))) << error();
    EXPECT_EQ(readLocal(QStringLiteral("f.bin")), data);
    EXPECT_EQ(filesIn(local.path()), QStringList{QStringLiteral("f.bin")});
}

// A full disk is named by the system's own words, and costs nothing but the
// file that did not fit.
TEST_F(Delivery, FullDiskSaysSoAndKeepsTheOlderCopy)
{
    QTemporaryDir small;
    QProcess mount;
    mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=256k"), QStringLiteral("tmpfs"), small.path()});
    if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here: " << mount.readAllStandardError().toStdString();
    const auto unmount = qScopeGuard([&] { QProcess::execute(QStringLiteral("umount"), {small.path()}); });

    ASSERT_NO_FATAL_FAILURE(start({}, BySize));
    const QByteArray older = content(100 * 1024, 2);
    QFile file(small.filePath(QStringLiteral("f.bin")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(older), older.size());
    file.close();
    server.writeFile(QStringLiteral("f.bin"), content(1024 * 1024));

    EXPECT_FALSE(ftp.GetFile(small.filePath(QStringLiteral("f.bin")), QStringLiteral("/f.bin")));
    const QString text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(text.contains(QStringLiteral("No space left on device"))) << text.toStdString();
    EXPECT_TRUE(text.contains(small.filePath(QStringLiteral("f.bin")))) << text.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), older);
    EXPECT_EQ(filesIn(small.path()), QStringList{QStringLiteral("f.bin")});
}

// ---------------------------------------------------------------------------
// Uploads

// A consumer that polls the server must never find half a file under its
// real name: while the bytes flow, only the temporary name is there.
TEST_F(Delivery, TemporaryUploadNameIsAllAConsumerSeesMidTransfer)
{
    ASSERT_NO_FATAL_FAILURE(start({}, UnderATemporaryName));
    const QByteArray data = content(300 * Block);
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("big.bin"), data));
    server.mkdir(QStringLiteral("in"));
    cFTP consumer;
    consumer.SetTimeout(ShortTimeoutMs);
    consumer.SetPacing([](int) {}, [](int) {});
    ASSERT_TRUE(logIn(consumer, server));

    QString seen;
    QObject::connect(&ftp, &cFTP::FileTransferProgress, [&](qint64 current, qint64) {
        if (current == 200 * Block)
            seen = consumer.GetFTPdir(QStringLiteral("/in/*"));
    });
    ASSERT_TRUE(ftp.PutFile(localPath(QStringLiteral("big.bin")), QStringLiteral("/in/big.bin"))) << error();
    EXPECT_EQ(seen, QStringLiteral(".big.bin.part"));
    EXPECT_EQ(consumer.GetFTPdir(QStringLiteral("/in/*")), QStringLiteral("big.bin"));
    EXPECT_EQ(server.readFile(QStringLiteral("in/big.bin")), data);
}

// A producer still writing the file: what was sent is a piece of it, and
// must not count as the file, least of all to a job that deletes sources.
TEST_F(Delivery, SourceThatGrowsWhileSentIsNoSuccessAndLeavesNoCopy)
{
    ASSERT_NO_FATAL_FAILURE(start({}, BySize));
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("grow.log"), content(50 * Block)));
    QObject::connect(&ftp, &cFTP::FileTransferProgress, [&](qint64 current, qint64) {
        if (current != 10 * Block)
            return;
        QFile producer(localPath(QStringLiteral("grow.log")));
        ASSERT_TRUE(producer.open(QIODevice::Append));
        producer.write(QByteArray(1000, 'x'));
    });
    EXPECT_FALSE(put(QStringLiteral("grow.log"), QStringLiteral("/grow.log")));
    EXPECT_EQ(ftp.GetLastErrorMessage(),
              QStringLiteral("Verification failed: the local file %1 changed while it was sent: its size went from "
                             "12750 to 13750 bytes\r\n")
                  .arg(localPath(QStringLiteral("grow.log"))));
    EXPECT_FALSE(server.exists(QStringLiteral("grow.log")));
}

// A source cut short while it is sent: the upload stops at the end of what
// is left and says so.
TEST_F(Delivery, SourceCutShortWhileSentEndsTheUploadWithWhatIsLeft)
{
    ASSERT_NO_FATAL_FAILURE(start({}, BySize));
    const qint64 size = 600 * 1024;
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("cut.bin"), content(size)));
    QObject::connect(&ftp, &cFTP::FileTransferProgress, [&](qint64 current, qint64) {
        if (current == Block) {
            ASSERT_TRUE(QFile::resize(localPath(QStringLiteral("cut.bin")), 100 * 1024));
        }
    });
    EXPECT_FALSE(put(QStringLiteral("cut.bin"), QStringLiteral("/cut.bin")));
    EXPECT_TRUE(
        ftp.GetLastErrorMessage().contains(QStringLiteral("the file ended before its size of %1 bytes").arg(size)))
        << ftp.GetLastErrorMessage().toStdString();
}

// ---------------------------------------------------------------------------
// The connection's own waits and texts

// "120 ready in a minute", forever: the whole greeting has one deadline.
TEST(Greeting, EndlessPreliminaryRepliesEndAtTheTimeout)
{
    FtpTestServer server;
    ASSERT_TRUE(server.start({.extraArgs = {QStringLiteral("--endless-120")}})) << server.errorString().toStdString();
    cFTP ftp;
    ftp.SetTimeout(FtpClientFixture::ShortTimeoutMs);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(ftp.OpenConnection(server.address(), FtpTestServer::userName(), FtpTestServer::serverPassword()));
    EXPECT_LT(clock.elapsed(), FtpClientFixture::ShortTimeoutMs + 1000);
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(QStringLiteral("InternetConnect error code: 12002 ")))
        << ftp.GetLastErrorMessage().toStdString();
}

struct EchoedPassword
{
    const char *name;
    const char *password;
};

class PasswordEcho : public ::testing::TestWithParam<EchoedPassword>
{};

// The server repeats the password; it is masked as a word of its own, and
// only so: the letters of other words stay.
TEST_P(PasswordEcho, IsMaskedAsAWholeWord)
{
    FtpTestServer server;
    ASSERT_TRUE(server.start({.extraArgs = {QStringLiteral("--echo-password")}})) << server.errorString().toStdString();
    cFTP ftp;
    ftp.SetTimeout(FtpClientFixture::ShortTimeoutMs);
    EXPECT_FALSE(
        ftp.OpenConnection(server.address(), FtpTestServer::userName(), QString::fromUtf8(GetParam().password)));
    EXPECT_EQ(ftp.GetLastErrorMessage(), QStringLiteral("530 Login with password ******** failed (test).\r\n"));
}

INSTANTIATE_TEST_SUITE_P(Passwords, PasswordEcho,
                         ::testing::Values(EchoedPassword{"OneLetterAlsoInOtherWords", "o"},
                                           EchoedPassword{"TwoLetters", "wi"}, EchoedPassword{"Three", "Log"},
                                           EchoedPassword{"Long", "zelkar-42"}),
                         ByRowName());

// ---------------------------------------------------------------------------
// Names that look like patterns are looked up as they are

struct ExactName
{
    const char *name;
    QStringList faults;
};

class ExactLookup : public DeliveryFixture, public ::testing::TestWithParam<ExactName>
{};

TEST_P(ExactLookup, TakesTheSizeOfThatFileAndNoOther)
{
    ASSERT_NO_FATAL_FAILURE(start(GetParam().faults, BySize));
    server.writeFile(QStringLiteral("axxb.bin"), "decoy, longer than the file");
    server.writeFile(QStringLiteral("a*b.bin"), "star");
    server.writeFile(QStringLiteral("a?b.bin"), "question");
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("/a*b.bin")), 4) << error();
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("/a?b.bin")), 8) << error();
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("/a*c.bin")), -1) << "no pattern matches here";
    ASSERT_TRUE(get(QStringLiteral("/a*b.bin"), QStringLiteral("a*b.bin"))) << error();
    EXPECT_EQ(readLocal(QStringLiteral("a*b.bin")), QByteArray("star"));
}

INSTANTIATE_TEST_SUITE_P(Servers, ExactLookup,
                         ::testing::Values(ExactName{"Mlst", {}}, ExactName{"Size", {"--no-mlsd"}},
                                           ExactName{"SizeAndDosList", {"--no-mlsd", "--dos-list"}}),
                         ByRowName());

} // namespace
