#include <QElapsedTimer>
#include <QTcpServer>

#include <gtest/gtest.h>

#include "ftp/cftp.h"
#include "platform/inet/errors.h"
#include "platform/inet/server.h"
#include "support/ftplogin.h"
#include "support/ftpserver.h"
#include "support/qtprint.h"

namespace {

constexpr int ShortTimeoutMs = 1500;
const QString User = QStringLiteral("quelmo");
const QString Password = QStringLiteral("zelkar");

QString connectFailure(int code)
{
    return QStringLiteral("InternetConnect error code: ") + QString::number(code) + QStringLiteral(" Message: ")
           + inet::messageText(code);
}

class FtpSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.errorString().toStdString();
        ftp.SetTimeout(ShortTimeoutMs);
    }

    FtpTestServer server;
    cFTP ftp;
};

TEST_F(FtpSessionTest, NewObjectHasNoErrorTextAndAsciiActiveDefaults)
{
    cFTP fresh;
    EXPECT_EQ(fresh.GetLastErrorMessage(), QString());
    EXPECT_FALSE(fresh.isConnected());
    EXPECT_EQ(fresh.transferType(), cFTP::FTP_TRANSFER_TYPE_ASCII);
    EXPECT_EQ(fresh.connectFlags(), 0);
}

TEST_F(FtpSessionTest, ModeSettersOnlyChangeFlags)
{
    ftp.SetTransferBinary();
    EXPECT_EQ(ftp.transferType(), cFTP::FTP_TRANSFER_TYPE_BINARY);
    ftp.SetTransferASCII();
    EXPECT_EQ(ftp.transferType(), cFTP::FTP_TRANSFER_TYPE_ASCII);
    ftp.SetModePassive();
    EXPECT_EQ(ftp.connectFlags(), cFTP::INTERNET_FLAG_PASSIVE);
    ftp.SetModeActive();
    EXPECT_EQ(ftp.connectFlags(), 0);
    EXPECT_FALSE(ftp.isConnected());
}

TEST_F(FtpSessionTest, GoodLoginConnectsAndCloseIsHarmlessTwice)
{
    ASSERT_TRUE(logIn(ftp, server));
    EXPECT_TRUE(ftp.isConnected());
    EXPECT_EQ(ftp.GetLastErrorMessage(), QString());
    ftp.CloseConnection();
    EXPECT_FALSE(ftp.isConnected());
    ftp.CloseConnection();
    EXPECT_FALSE(ftp.isConnected());
    EXPECT_EQ(ftp.GetLastErrorMessage(), QString());
}

TEST_F(FtpSessionTest, WrongPasswordGivesTheServersReplyAlone)
{
    EXPECT_FALSE(ftp.OpenConnection(server.address(), User, QStringLiteral("wrong-password")));
    EXPECT_FALSE(ftp.isConnected());
    const QString text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(text.startsWith(QStringLiteral("530 "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("InternetConnect")));
    EXPECT_FALSE(text.contains(QStringLiteral("wrong-password")));
}

TEST_F(FtpSessionTest, FailureTextSurvivesLaterSuccess)
{
    EXPECT_FALSE(ftp.OpenConnection(server.address(), User, QStringLiteral("bad")));
    const QString failure = ftp.GetLastErrorMessage();
    ASSERT_FALSE(failure.isEmpty());
    ASSERT_TRUE(logIn(ftp, server));
    ftp.CloseConnection();
    EXPECT_EQ(ftp.GetLastErrorMessage(), failure);
}

TEST_F(FtpSessionTest, OpenWhileConnectedReplacesTheConnection)
{
    ASSERT_TRUE(logIn(ftp, server));
    ASSERT_TRUE(logIn(ftp, server));
    EXPECT_TRUE(ftp.isConnected());
    EXPECT_FALSE(ftp.OpenConnection(server.address(), User, QStringLiteral("bad")));
    EXPECT_FALSE(ftp.isConnected()) << "a failed reconnect leaves the object not connected";
}

TEST_F(FtpSessionTest, PassiveModeAppliesFromTheNextConnection)
{
    ASSERT_TRUE(logIn(ftp, server));
    ftp.SetModePassive();
    EXPECT_TRUE(ftp.isConnected());
    ASSERT_TRUE(logIn(ftp, server));
    EXPECT_TRUE(ftp.isConnected());
}

// A name or password carrying a line break never reaches the server: the
// code is a plain one without text of its own, so the text ends right after
// " Message: ".
TEST_F(FtpSessionTest, LineBreakInCredentialsIsRefusedBeforeSending)
{
    EXPECT_FALSE(ftp.OpenConnection(server.address(), QStringLiteral("quelmo\r\nDELE x"), Password));
    EXPECT_EQ(ftp.GetLastErrorMessage(), QStringLiteral("InternetConnect error code: 87 Message: "));
    EXPECT_FALSE(ftp.OpenConnection(server.address(), User, QStringLiteral("zel\nkar")));
    EXPECT_EQ(ftp.GetLastErrorMessage(), QStringLiteral("InternetConnect error code: 87 Message: "));
}

class UnreachableServer : public ::testing::Test
{
protected:
    cFTP ftp;
};

TEST_F(UnreachableServer, FailuresCarryTheirCodesAndTexts)
{
    // A port that was just free: nobody listens there.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closedPort = probe.serverPort();
    probe.close();

    // A listener that never accepts: the kernel completes the handshake,
    // but no greeting ever comes.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));

    struct
    {
        const char *what;
        QString server;
        int code;
    } const cases[] = {
        {"closed port", QStringLiteral("127.0.0.1:%1").arg(closedPort), inet::ErrorCannotConnect},
        // Rejected by the resolver itself, so no name query leaves the machine.
        {"unknown host", QStringLiteral("no..such.host"), inet::ErrorNameNotResolved},
        {"empty server", QString(), inet::ErrorNameNotResolved},
        {"bad port", QStringLiteral("127.0.0.1:99999"), inet::ErrorNameNotResolved},
        {"never greets", QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()), inet::ErrorTimeout},
    };
    ftp.SetTimeout(ShortTimeoutMs);
    for (const auto &c : cases) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_FALSE(ftp.OpenConnection(c.server, User, Password)) << c.what;
        EXPECT_FALSE(ftp.isConnected()) << c.what;
        EXPECT_EQ(ftp.GetLastErrorMessage(), connectFailure(c.code)) << c.what;
        EXPECT_LT(clock.elapsed(), ShortTimeoutMs + 1000) << c.what;
    }
}

TEST(ServerText, HostAndPortForms)
{
    struct
    {
        const char *text;
        bool ok;
        const char *host;
        quint16 port;
    } const cases[] = {
        {"ftp.example.org", true, "ftp.example.org", 21},
        {"ftp.example.org:2121", true, "ftp.example.org", 2121},
        {"  127.0.0.1  ", true, "127.0.0.1", 21},
        {"127.0.0.1:65535", true, "127.0.0.1", 65535},
        {"::1", true, "::1", 21},
        {"fe80::1:2", true, "fe80::1:2", 21},
        {"[::1]", true, "::1", 21},
        {"[::1]:2121", true, "::1", 2121},
        {"", false, "", 0},
        {"host:", false, "", 0},
        {"host:0", false, "", 0},
        {"host:70000", false, "", 0},
        {"host:+21", false, "", 0},
        {"host:21x", false, "", 0},
        {"[::1", false, "", 0},
        {"[::1]2121", false, "", 0},
        {"[not-v6]:21", false, "", 0},
        {"a b", false, "", 0},
    };
    for (const auto &c : cases) {
        const auto parsed = inet::parseServer(QString::fromUtf8(c.text));
        ASSERT_EQ(parsed.ok(), c.ok) << c.text;
        if (parsed) {
            EXPECT_EQ(parsed->host.toStdString(), c.host) << c.text;
            EXPECT_EQ(parsed->port, c.port) << c.text;
        }
    }
}

// The URL forms people paste into FTPURL. The port of a URL without one
// follows the connection's security (990 for implicit TLS), which the
// caller passes in.
TEST(ServerText, UrlForms)
{
    struct
    {
        const char *text;
        quint16 defaultPort;
        int code; // 0: read
        const char *host;
        quint16 port;
        const char *detail;
    } const cases[] = {
        {"ftp://ftp.example.org", 21, 0, "ftp.example.org", 21, ""},
        {"FTP://ftp.example.org:2121/", 21, 0, "ftp.example.org", 2121, ""},
        {"ftps://ftp.example.org", 990, 0, "ftp.example.org", 990, ""},
        {"ftps://ftp.example.org:4990", 990, 0, "ftp.example.org", 4990, ""},
        {"ftpes://[::1]:2121", 21, 0, "::1", 2121, ""},
        {" ftpes://127.0.0.1 ", 21, 0, "127.0.0.1", 21, ""},
        {"ftp://ftp.example.org/pub/", 21, inet::ErrorInvalidUrl, "", 0,
         "the server address ftp://ftp.example.org/pub/ names a path (/pub/); only a host and a port may follow "
         "ftp://"},
        {"ftps://h/file.zip", 990, inet::ErrorInvalidUrl, "", 0,
         "the server address ftps://h/file.zip names a path (/file.zip); only a host and a port may follow ftps://"},
        {"ftp://h?type=i", 21, inet::ErrorInvalidUrl, "", 0,
         "the server address ftp://h?type=i names a path (?type=i); only a host and a port may follow ftp://"},
        // The password of a pasted URL must not be repeated in any text.
        {"ftp://user:secret@h", 21, inet::ErrorInvalidUrl, "", 0,
         "the server address carries a user name or password (before \"@\"); give them as the site's own settings"},
        {"sftp://h", 21, inet::ErrorUnrecognizedScheme, "", 0,
         "the server address starts with sftp://, which is not one of ftp://, ftps:// and ftpes://"},
        {"ftp://", 21, inet::ErrorNameNotResolved, "", 0, ""},
        {"ftp://h:0", 21, inet::ErrorNameNotResolved, "", 0, ""},
    };
    for (const auto &c : cases) {
        const auto parsed = inet::parseServer(QString::fromUtf8(c.text), c.defaultPort);
        if (c.code == 0) {
            ASSERT_TRUE(parsed.ok()) << c.text;
            EXPECT_EQ(parsed->host.toStdString(), c.host) << c.text;
            EXPECT_EQ(parsed->port, c.port) << c.text;
            continue;
        }
        ASSERT_FALSE(parsed.ok()) << c.text;
        EXPECT_EQ(parsed.failure().code, c.code) << c.text;
        EXPECT_EQ(parsed.failure().detail.toStdString(), c.detail) << c.text;
    }
}

// A scheme sets the security unless the site gives its own.
TEST(ServerText, SchemeSetsTheSecurityUnlessTheSiteGivesOne)
{
    using inet::Security;
    struct
    {
        const char *server;
        std::optional<Security> site;
        Security used;
    } const cases[] = {
        {"ftp.example.org", std::nullopt, Security::None},
        {"ftp://ftp.example.org", std::nullopt, Security::None},
        {"ftps://ftp.example.org", std::nullopt, Security::ImplicitTls},
        {"FTPES://ftp.example.org", std::nullopt, Security::ExplicitTls},
        {"ftps://ftp.example.org", Security::ExplicitTls, Security::ExplicitTls},
        {"ftpes://ftp.example.org", Security::None, Security::None},
        {"ftp.example.org", Security::ImplicitTls, Security::ImplicitTls},
    };
    for (const auto &c : cases) {
        cFTP ftp;
        ftp.SetSecurity(c.site);
        EXPECT_EQ(ftp.securityFor(QString::fromUtf8(c.server)), c.used) << c.server;
    }
}

TEST(ServerText, IPv6LoopbackLogin)
{
    FtpTestServer server;
    FtpTestServer::Options options;
    options.host = QStringLiteral("::1");
    if (!server.start(options))
        GTEST_SKIP() << "no IPv6 loopback here: " << server.errorString().toStdString();
    cFTP ftp;
    ftp.SetTimeout(ShortTimeoutMs);
    EXPECT_TRUE(logIn(ftp, server));
}

} // namespace
