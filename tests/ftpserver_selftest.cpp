// Checks the test FTP server itself with a bare socket, so that a failing
// client test can be blamed on the client and not on the server it talks to.

#include "support/ftpserver.h"
#include "support/paramnames.h"
#include "support/qtprint.h"
#include "support/tlsfiles.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <ostream>
#include <string>
#include <vector>

namespace {

// What a step expects back: a reply starting with `expect`, or one of these.
const QByteArray kSilence = "<silence>"; // nothing arrives, connection stays up
const QByteArray kClosed = "<closed>";   // the server hangs up

struct Step
{
    QByteArray send; // empty: only wait for what the server says
    QByteArray expect;
};

struct Case
{
    std::string name;
    QStringList serverArgs;
    QString host = QStringLiteral("127.0.0.1");
    std::vector<Step> steps;
};

// Last line of one reply (continuation lines of a multi-line reply are
// skipped), or empty if none arrives in time.
QByteArray readReply(QTcpSocket &socket, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        while (socket.canReadLine()) {
            const QByteArray line = socket.readLine().trimmed();
            if (line.size() >= 4 && line[3] == ' ')
                return line;
        }
        if (deadline.hasExpired() || !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return {};
    }
}

bool ipv6LoopbackUsable()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHostIPv6, 0);
}

const QByteArray kLogin[] = {"USER quelmo", "PASS zelkar"};

std::vector<Case> cases()
{
    return {
        {.name = "GreetsAndLogsInAtRoot",
         .serverArgs = {},
         .steps = {{"", "220 "},
                   {kLogin[0], "331 "},
                   {kLogin[1], "230 "},
                   {"TYPE I", "200 "},
                   // written by the fixture through root(): proves root() is the FTP home
                   {"SIZE sub/a.txt", "213 5"}}},
        {.name = "RejectsWrongPassword",
         .serverArgs = {},
         .steps = {{"", "220 "}, {kLogin[0], "331 "}, {"PASS wrong", "530 "}}},
        {.name = "ListensOnIpv6Loopback",
         .serverArgs = {},
         .host = QStringLiteral("::1"),
         .steps = {{"", "220 "}, {kLogin[0], "331 "}, {kLogin[1], "230 "}}},
        {.name = "NoGreetingStaysSilent",
         .serverArgs = {"--no-greeting"},
         .steps = {{"", kSilence}, {kLogin[0], kSilence}}},
        {.name = "CloseAfterPassHangsUp",
         .serverArgs = {"--close-after", "PASS"},
         .steps = {{"", "220 "}, {kLogin[0], "331 "}, {kLogin[1], "421 Closing (test)."}, {"", kClosed}}},
        {.name = "RefusesOnlyTheFirstStor",
         .serverArgs = {"--refuse-stor", "1"},
         .steps = {{"", "220 "},
                   {kLogin[0], "331 "},
                   {kLogin[1], "230 "},
                   {"TYPE I", "200 "},
                   {"EPSV", "229 "},
                   {"STOR up.bin", "550 Refused by test."},
                   {"EPSV", "229 "},
                   // the second one is accepted and waits for the data connection
                   {"STOR up.bin", "150 "}}},
    };
}

// Names the row in failure messages instead of a byte dump.
void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class FtpServerScript : public ::testing::TestWithParam<Case>
{};

TEST_P(FtpServerScript, AnswersAsScripted)
{
    const Case &c = GetParam();
    if (c.host == QLatin1String("::1") && !ipv6LoopbackUsable())
        GTEST_SKIP() << "no IPv6 loopback here";

    FtpTestServer server;
    ASSERT_TRUE(server.start({.host = c.host, .extraArgs = c.serverArgs})) << server.errorString().toStdString();
    server.writeFile(QStringLiteral("sub/a.txt"), "hello");

    QTcpSocket socket;
    socket.connectToHost(QHostAddress(server.host()), server.port());
    ASSERT_TRUE(socket.waitForConnected(3000)) << socket.errorString().toStdString();

    for (const Step &step : c.steps) {
        SCOPED_TRACE("after sending '" + step.send.toStdString() + "'");
        if (!step.send.isEmpty())
            socket.write(step.send + "\r\n");
        if (step.expect == kSilence) {
            EXPECT_FALSE(socket.waitForReadyRead(800)) << socket.readAll().toStdString();
            EXPECT_EQ(socket.state(), QAbstractSocket::ConnectedState);
        } else if (step.expect == kClosed) {
            EXPECT_TRUE(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(3000));
        } else {
            const QByteArray reply = readReply(socket, 5000);
            EXPECT_TRUE(reply.startsWith(step.expect)) << "got '" << reply.toStdString() << "'";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, FtpServerScript, ::testing::ValuesIn(cases()), ByRowName());

// Sends one command and waits for its reply, so that the server has
// recorded the command before the test looks at the transcript.
QByteArray exchange(QTcpSocket &socket, const QByteArray &command)
{
    socket.write(command + "\r\n");
    return readReply(socket, 5000);
}

// The transcript is what the client tests compare with the commands they
// expect, so it must hold every command as sent, in order, from every
// session, with only what varies from run to run masked.
TEST(FtpTestServer, TranscriptHoldsEveryCommandWithThePasswordAndPortsMasked)
{
    FtpTestServer server;
    ASSERT_TRUE(server.start()) << server.errorString().toStdString();
    server.mkdir(QStringLiteral("sub"));
    EXPECT_EQ(server.transcript(), QStringList());

    QTcpSocket first;
    first.connectToHost(QHostAddress(server.host()), server.port());
    ASSERT_TRUE(first.waitForConnected(3000)) << first.errorString().toStdString();
    ASSERT_TRUE(readReply(first, 5000).startsWith("220 "));
    EXPECT_TRUE(exchange(first, "USER quelmo").startsWith("331 "));
    EXPECT_TRUE(exchange(first, "PASS wrong").startsWith("530 "));
    EXPECT_TRUE(exchange(first, "USER quelmo").startsWith("331 "));
    EXPECT_TRUE(exchange(first, "PASS zelkar").startsWith("230 "));
    // Nobody listens at these ports: whatever the server answers, it answers
    // once, and the command is recorded all the same.
    EXPECT_FALSE(exchange(first, "PORT 127,0,0,1,200,10").isEmpty());
    EXPECT_FALSE(exchange(first, "EPRT |1|127.0.0.1|51234|").isEmpty());
    EXPECT_FALSE(exchange(first, "EPRT !2!::1!4021!").isEmpty());
    EXPECT_TRUE(exchange(first, "XYZZY is not a command").startsWith("500 "));
    EXPECT_TRUE(exchange(first, "CWD sub").startsWith("250 "));
    EXPECT_EQ(server.transcript(),
              (QStringList{"USER quelmo", "PASS ******", "USER quelmo", "PASS ******", "PORT 127,0,0,1,*,*",
                           "EPRT |1|127.0.0.1|*|", "EPRT !2!::1!*!", "XYZZY is not a command", "CWD sub"}));

    server.clearTranscript();
    EXPECT_EQ(server.transcript(), QStringList());
    EXPECT_TRUE(exchange(first, "PWD").startsWith("257 "));

    QTcpSocket second;
    second.connectToHost(QHostAddress(server.host()), server.port());
    ASSERT_TRUE(second.waitForConnected(3000)) << second.errorString().toStdString();
    ASSERT_TRUE(readReply(second, 5000).startsWith("220 "));
    EXPECT_TRUE(exchange(second, "USER quelmo").startsWith("331 "));
    EXPECT_EQ(server.transcript(), (QStringList{"PWD", "USER quelmo"}));

    // A new start is a new server with a transcript of its own.
    ASSERT_TRUE(server.start()) << server.errorString().toStdString();
    EXPECT_EQ(server.transcript(), QStringList());
}

TEST(FtpTestServer, ReportsWhyItCouldNotStart)
{
    FtpTestServer server;
    EXPECT_FALSE(server.start({.extraArgs = {"--no-such-switch"}}));
    EXPECT_TRUE(server.errorString().contains(QLatin1String("--no-such-switch"))) << server.errorString().toStdString();
    EXPECT_FALSE(server.isRunning());
}

TEST(FtpTestServer, StopEndsTheServerPromptly)
{
    FtpTestServer server;
    ASSERT_TRUE(server.start()) << server.errorString().toStdString();
    const QString host = server.host();
    const quint16 port = server.port();

    // Well under the kill fallback: the server must leave on its own when
    // its stdin closes, or a crashed test run would leave servers behind.
    QElapsedTimer timer;
    timer.start();
    server.stop();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_FALSE(server.isRunning());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress(host), port);
    EXPECT_FALSE(socket.waitForConnected(1000));
}

// ---------------------------------------------------------------------------
// The TLS server, checked with curl: another client than ours, so that the
// TLS client tests rest on a server known to enforce what they rely on.

struct TlsCase
{
    const char *name;
    QStringList serverArgs; // beyond --tls with the trusted certificate
    QStringList curlArgs;   // beyond the download of a.txt with the test CA
    bool implicit = false;
    int curlExit;            // 0: the download worked; AnyFailure: curl failed
    const char *verboseLine; // a line curl -v must print, or nullptr
};

// The server refuses a fresh data session when the data connection is made;
// whether curl reads that refusal in the answer to TYPE or to RETR (exit 17
// or 19) depends on timing, not on the server.
constexpr int AnyFailure = -1;

void PrintTo(const TlsCase &c, std::ostream *os)
{
    *os << c.name;
}

const TlsCase TlsCases[] = {
    {"RefusesClearData", {}, {"--ftp-ssl-control"}, false, 13, "< 550 SSL/TLS required on the data channel."},
    {"RefusesTheClearText", {}, {}, false, 67, "< 550 SSL/TLS required on the control channel."},
    {"SpeaksTls12WhenAsked", {"--tls-version", "1.2"}, {"--ssl-reqd"}, false, 0, "SSL connection using TLSv1.2"},
    {"SpeaksTls13WhenAsked", {"--tls-version", "1.3"}, {"--ssl-reqd"}, false, 0, "SSL connection using TLSv1.3"},
    {"ImplicitFromTheFirstByte", {"--implicit"}, {}, true, 0, "< 220 quelmo test server ready."},
    // curl resumes the control connection's session unless told not to.
    {"ReuseRequiredAcceptsAResumedSession", {"--require-reuse"}, {"--ssl-reqd"}, false, 0, nullptr},
    {"ReuseRequiredRefusesAFreshSession",
     {"--require-reuse"},
     {"--ssl-reqd", "--no-sessionid"},
     false,
     AnyFailure,
     "< 522 SSL connection failed: session reuse required"},
    // curl starts the data connection's handshake before RETR is read
    // (pyftpdlib's issue #604, carried fix).
    {"EarlyDataHandshakeIsServed", {}, {"--ssl-reqd", "--ftp-pasv"}, false, 0, "< 125 Data connection already open."},
};

class TlsServer : public ::testing::TestWithParam<TlsCase>
{};

TEST_P(TlsServer, DoesWhatTheClientTestsRelyOn)
{
    const TlsCase &c = GetParam();
    const TestCertificates &files = testCertificates();
    FtpTestServer server;
    ASSERT_TRUE(server.start(
        {.extraArgs = tlsServerArgs(inet::Security::ExplicitTls, files.trusted, files.serverKey) + c.serverArgs}))
        << server.errorString().toStdString();
    server.writeFile(QStringLiteral("a.txt"), "hello");

    QProcess curl;
    const QString url = QStringLiteral("%1://quelmo:zelkar@%2/a.txt")
                            .arg(c.implicit ? QStringLiteral("ftps") : QStringLiteral("ftp"), server.address());
    curl.start(QStringLiteral("curl"),
               QStringList{"-sS", "-v", "--max-time", "10", "--cacert", files.caFile} + c.curlArgs + QStringList{url});
    ASSERT_TRUE(curl.waitForFinished(15000)) << "curl: " << curl.errorString().toStdString();
    const QString output = QString::fromUtf8(curl.readAllStandardError());
    if (c.curlExit == AnyFailure) {
        EXPECT_NE(curl.exitCode(), 0) << output.toStdString();
    } else {
        EXPECT_EQ(curl.exitCode(), c.curlExit) << output.toStdString();
    }
    if (c.curlExit == 0) {
        EXPECT_EQ(curl.readAllStandardOutput(), QByteArray("hello"));
    }
    if (c.verboseLine) {
        EXPECT_TRUE(output.contains(QString::fromUtf8(c.verboseLine))) << output.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TlsServer, ::testing::ValuesIn(TlsCases), ByRowName());

} // namespace
