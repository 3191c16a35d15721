// What cFTP says on the wire. Each scenario states the exact commands the
// server receives for each step, read back from the server's transcript:
// results and files alone cannot show a lookup that lists a whole folder, a
// refused EPSV asked again for every file, or a TYPE sent before every
// transfer, and each of those costs a round trip per file of a job.

#include <QTcpServer>

#include <functional>
#include <vector>

#include "support/datamode.h"
#include "support/ftpclientfixture.h"
#include "support/ftplogin.h"
#include "support/qtprint.h"

namespace {

using inet::DataMode;

// One step of a scenario and the commands it must send, in order.
struct Step
{
    const char *what;
    std::function<void()> run;
    QStringList commands;
};

class WireTest : public FtpClientFixture
{
protected:
    // Runs the steps one after the other; the transcript is taken after
    // each, so a failure names the step that sent something else.
    void expectCommands(const std::vector<Step> &steps)
    {
        server.clearTranscript();
        for (const Step &step : steps) {
            SCOPED_TRACE(step.what);
            step.run();
            EXPECT_EQ(server.transcript(), step.commands);
            server.clearTranscript();
        }
    }

    // The steps, each checking its own result.
    std::function<void()> getting(const QString &remote, const QString &localName)
    {
        return [=, this] { EXPECT_TRUE(download(remote, localName)) << error(); };
    }
    std::function<void()> putting(const QString &localName, const QString &remote)
    {
        return [=, this] { EXPECT_TRUE(upload(localName, remote)) << error(); };
    }
    std::function<void()> listing(const QString &pattern, const QString &sortedNames)
    {
        return [=, this] {
            QStringList names = ftp.GetFTPdir(pattern).split(QLatin1Char(','), Qt::SkipEmptyParts);
            names.sort();
            EXPECT_EQ(names.join(QLatin1Char(',')), sortedNames) << error();
        };
    }
    std::function<void()> sizing(const QString &path, qint64 size)
    {
        return [=, this] { EXPECT_EQ(ftp.GetFTPFileSize(path), size) << error(); };
    }
};

// The command that opens a data connection, with the port masked as in the
// transcript: the server speaks EPSV, so passive mode never needs PASV.
QString dataCommand(DataMode mode)
{
    return mode == DataMode::Passive ? QStringLiteral("EPSV") : QStringLiteral("PORT 127,0,0,1,*,*");
}

// ---------------------------------------------------------------------------
// A refused EPSV is not asked again

class PassiveFallback : public WireTest, public ::testing::Test
{};

// A server without EPSV answers it with 500 once; every later data
// connection of the same session goes straight to PASV, so a job of many
// files pays for the refusal once.
TEST_F(PassiveFallback, SecondTransferGoesStraightToPasv)
{
    ASSERT_NO_FATAL_FAILURE(begin(DataMode::Passive, {QStringLiteral("--no-epsv")}));
    EXPECT_EQ(server.transcript(), (QStringList{"USER quelmo", "PASS ******"})) << "nothing is tried at log-in";
    server.writeFile(QStringLiteral("p.bin"), QByteArray(1000, 'p'));
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("u.bin"), "up"));

    // clang-format off
    expectCommands({
        {"first download",  getting("/p.bin", "p1"),          {"FEAT", "MLST /p.bin", "TYPE I", "EPSV", "PASV", "RETR /p.bin"}},
        {"second download", getting("/p.bin", "p2"),          {"MLST /p.bin", "PASV", "RETR /p.bin"}},
        {"upload",          putting("u.bin", "/u.bin"),       {"PASV", "STOR /u.bin", "MLST /u.bin"}},
        {"listing",         listing("/*.bin", "p.bin,u.bin"), {"TYPE A", "PASV", "MLSD /"}},
    });
    // clang-format on
    EXPECT_EQ(readLocal(QStringLiteral("p2")), QByteArray(1000, 'p'));
}

// ---------------------------------------------------------------------------
// A single name is looked up, not listed

class SingleName : public WireTest, public ::testing::TestWithParam<DataLink>
{};

// A name without a wildcard is described by the server on the control
// connection (MLST): no data connection, no TYPE, no listing of a folder
// that may hold thousands of files. Whether the server supports MLST is
// asked once per connection.
TEST_P(SingleName, IsLookedUpWithMlstAndNoListing)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam()));
    server.writeFile(QStringLiteral("out/a.zip"), "a");
    server.writeFile(QStringLiteral("out/b.zip"), "bb");
    const QString data = dataCommand(GetParam().mode);

    // clang-format off
    expectCommands({
        {"size",                  sizing("/out/b.zip", 2),        {"FEAT", "MLST /out/b.zip"}},
        {"size again",            sizing("/out/a.zip", 1),        {"MLST /out/a.zip"}},
        {"missing name",          sizing("/out/none.zip", -1),    {"MLST /out/none.zip"}},
        {"directory of one name", listing("/out/a.zip", "a.zip"), {"MLST /out/a.zip"}},
        {"download",              getting("/out/a.zip", "a.zip"), {"MLST /out/a.zip", "TYPE I", data, "RETR /out/a.zip"}},
        // the contrast: only a pattern lists the folder
        {"pattern",               listing("/out/a*", "a.zip"),    {"TYPE A", data, "MLSD /out/"}},
    });
    // clang-format on
}
INSTANTIATE_FOR_EVERY_LINK(SingleName);

// Without MLST a name is still looked up alone: SIZE, in binary mode, which
// the transfers want anyway. A job of a thousand files on such a server
// (vsftpd) must not list the folder a thousand times, nor switch the type
// back and forth for every file. The upload is verified the same way.
TEST_P(SingleName, WithoutMlstIsLookedUpWithSizeAndNoListing)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam(), {QStringLiteral("--no-mlsd")}));
    server.writeFile(QStringLiteral("out/a.zip"), "a");
    server.writeFile(QStringLiteral("out/b.zip"), "bb");
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("c.zip"), "ccc"));
    const QString data = dataCommand(GetParam().mode);

    // clang-format off
    expectCommands({
        {"size",          sizing("/out/b.zip", 2),        {"FEAT", "TYPE I", "SIZE /out/b.zip"}},
        {"missing name",  sizing("/out/none.zip", -1),    {"SIZE /out/none.zip"}},
        {"download",      getting("/out/a.zip", "a.zip"), {"SIZE /out/a.zip", data, "RETR /out/a.zip"}},
        {"next download", getting("/out/b.zip", "b.zip"), {"SIZE /out/b.zip", data, "RETR /out/b.zip"}},
        {"upload",        putting("c.zip", "/out/c.zip"), {data, "STOR /out/c.zip", "SIZE /out/c.zip"}},
    });
    // clang-format on
}

// ---------------------------------------------------------------------------
// TYPE once per change

class TypeCommand : public WireTest, public ::testing::TestWithParam<DataLink>
{};

// The connection remembers the type it last set: files of the same type
// follow each other without a TYPE between them, and a listing (always
// text) switches to TYPE A and the next binary file back to TYPE I.
TEST_P(TypeCommand, IsSentOncePerChange)
{
    ASSERT_NO_FATAL_FAILURE(begin(GetParam()));
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("a.bin"), "alpha"));
    ASSERT_NO_FATAL_FAILURE(writeLocal(QStringLiteral("b.bin"), "beta"));
    const QString data = dataCommand(GetParam().mode);

    // clang-format off
    expectCommands({
        {"first binary upload",     putting("a.bin", "/a.bin"),       {"TYPE I", data, "STOR /a.bin", "FEAT", "MLST /a.bin"}},
        {"second binary upload",    putting("b.bin", "/b.bin"),       {data, "STOR /b.bin", "MLST /b.bin"}},
        {"listing",                 listing("/*.bin", "a.bin,b.bin"), {"TYPE A", data, "MLSD /"}},
        {"binary download",         getting("/a.bin", "a2.bin"),      {"MLST /a.bin", "TYPE I", data, "RETR /a.bin"}},
        {"another binary download", getting("/b.bin", "b2.bin"),      {"MLST /b.bin", data, "RETR /b.bin"}},
        {"text mode",               [&] { ftp.SetTransferASCII(); },  {}},
        {"text upload",             putting("a.bin", "/t.txt"),       {"TYPE A", data, "STOR /t.txt"}},
        {"listing in text mode",    listing("/*.txt", "t.txt"),       {data, "MLSD /"}},
    });
    // clang-format on
    EXPECT_EQ(readLocal(QStringLiteral("b2.bin")), QByteArray("beta"));
}
INSTANTIATE_FOR_EVERY_LINK(TypeCommand);

// ---------------------------------------------------------------------------
// A directory the server is in already is not changed to again

class DirectoryChange : public WireTest, public ::testing::Test
{};

// A job asks for the root before every file; the server hears it once per
// connection, and again only after a change elsewhere or a new connection.
// A relative path depends on where the server is, so it always goes out,
// and a refused change leaves the server's place unknown.
TEST_F(DirectoryChange, IsSentOnlyWhenItChangesSomething)
{
    ASSERT_NO_FATAL_FAILURE(begin(DataMode::Passive));
    server.mkdir(QStringLiteral("sub"));
    const auto changing = [this](const QString &path, bool ok) {
        return [=, this] { EXPECT_EQ(ftp.SetFTPDirectory(path), ok) << error(); };
    };

    // clang-format off
    expectCommands({
        {"root",              changing("/", true),        {"CWD /"}},
        {"root again",        changing("/", true),        {}},
        {"elsewhere",         changing("/sub", true),     {"CWD /sub"}},
        {"root after that",   changing("/", true),        {"CWD /"}},
        {"relative",          changing("sub", true),      {"CWD sub"}},
        {"relative again",    changing("sub", false),     {"CWD sub"}},
        {"root after a refusal", changing("/", true),     {"CWD /"}},
        {"new connection",    [this] { ftp.CloseConnection(); ASSERT_TRUE(connect()) << error(); }, {"QUIT", "USER quelmo", "PASS ******"}},
        {"root on it",        changing("/", true),        {"CWD /"}},
    });
    // clang-format on
}

// ---------------------------------------------------------------------------
// Active mode over IPv6

// PORT can only name an IPv4 address; over IPv6 the active data connection
// is offered with EPRT, on the control connection's own address.
TEST(ActiveOverIpv6, OffersTheDataConnectionWithEprt)
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHostIPv6))
        GTEST_SKIP() << "no IPv6 loopback here";
    probe.close();
    FtpTestServer server;
    ASSERT_TRUE(server.start({.host = QStringLiteral("::1"), .extraArgs = {}})) << server.errorString().toStdString();
    server.writeFile(QStringLiteral("six.bin"), "six");
    QTemporaryDir local;
    cFTP ftp;
    ftp.SetTimeout(FtpClientFixture::ShortTimeoutMs);
    ftp.SetPacing([](int) {}, [](int) {});
    ftp.SetTransferBinary();
    ftp.SetModeActive();
    ASSERT_TRUE(logIn(ftp, server));
    server.clearTranscript();

    QString l = local.filePath(QStringLiteral("six.bin"));
    QString r = QStringLiteral("/six.bin");
    EXPECT_TRUE(ftp.FTPDownloadFile(l, r)) << ftp.GetLastErrorMessage().toStdString();
    EXPECT_EQ(server.transcript(), (QStringList{"FEAT", "MLST /six.bin", "TYPE I", "EPRT |2|::1|*|", "RETR /six.bin"}));
}

} // namespace
