// Checks the test FTP server itself with a bare socket, so that a failing
// client test can be blamed on the client and not on the server it talks to.

#include "support/ftpserver.h"
#include "support/paramnames.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
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

} // namespace
