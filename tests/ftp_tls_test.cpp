// Encrypted connections against the TLS test server: whom the client trusts
// and what reaches the server before a refusal, the data connections'
// session and certificate, and the data mode that falls back to active.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include "ftp/cftp.h"
#include "platform/inet/errors.h"
#include "support/ftpclientfixture.h"
#include "support/ftplogin.h"
#include "support/ftpserver.h"
#include "support/paramnames.h"
#include "support/qtprint.h"
#include "support/tlsfiles.h"

namespace {

constexpr int ShortTimeoutMs = 1500;
using Files = TestCertificates;

// ---------------------------------------------------------------------------
// Whom an encrypted connection trusts

struct CertificateCase
{
    const char *name;
    QString Files::*certificate;
    QString Files::*key;
    bool withCa;         // tlsca names the test authority
    QString Files::*pin; // tlspin, or none
    const char *host;    // as the server text names it
    int code;            // 0: accepted
    const char *message; // the text after " Message: ", %1 the host; %2 the server's pin, %3 the pinned one
};

const CertificateCase CertificateCases[] = {
    {"TrustedThroughTheCa", &Files::trusted, &Files::serverKey, true, nullptr, "127.0.0.1", 0, ""},
    {"TrustedUnderItsDnsName", &Files::trusted, &Files::serverKey, true, nullptr, "localhost", 0, ""},
    {"SelfSignedButPinned", &Files::selfSigned, &Files::selfSignedKey, false, &Files::selfSignedPin, "127.0.0.1", 0,
     ""},
    {"PinnedKeyUnderAnotherName", &Files::wrongName, &Files::serverKey, false, &Files::serverPin, "127.0.0.1", 0, ""},
    {"WrongPinDespiteTheCa", &Files::trusted, &Files::serverKey, true, &Files::selfSignedPin, "127.0.0.1",
     inet::ErrorInvalidCertificate, "public key of %1 is %2, not the pinned %3"},
    {"WrongHostName", &Files::wrongName, &Files::serverKey, true, nullptr, "127.0.0.1",
     inet::ErrorCertificateNameInvalid, "certificate for %1 is made out to ftp.example.org"},
    {"Expired", &Files::expired, &Files::serverKey, true, nullptr, "127.0.0.1", inet::ErrorCertificateDateInvalid,
     "certificate for %1 has expired on 2021-01-01"},
    {"SelfSignedWithoutPinOrCa", &Files::selfSigned, &Files::selfSignedKey, false, nullptr, "127.0.0.1",
     inet::ErrorInvalidCa, "certificate for %1 is self-signed, and no trusted authority or pinned key vouches for it"},
    {"IssuerTheSystemDoesNotKnow", &Files::trusted, &Files::serverKey, false, nullptr, "127.0.0.1",
     inet::ErrorInvalidCa, "certificate for %1 is issued by quelmo test CA, which is not a trusted authority"},
};

void PrintTo(const CertificateCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string securityName(inet::Security security)
{
    return security == inet::Security::ImplicitTls ? "Implicit" : "Explicit";
}

class Certificates : public ::testing::TestWithParam<std::tuple<inet::Security, CertificateCase>>
{};

// No credential before the certificate is accepted: the server's transcript
// of a refused connection holds nothing but the request for TLS.
TEST_P(Certificates, AreAcceptedOrRefusedBeforeAnyCredential)
{
    const auto &[security, c] = GetParam();
    const Files &files = testCertificates();
    FtpTestServer server;
    ASSERT_TRUE(server.start({.extraArgs = tlsServerArgs(security, files.*c.certificate, files.*c.key)}))
        << server.errorString().toStdString();
    cFTP ftp;
    ftp.SetTimeout(ShortTimeoutMs);
    const QString pin = c.pin ? files.*c.pin : QString();
    ftp.SetSecurity(security, {c.withCa ? files.caFile : QString(), pin});
    const QString host = QString::fromLatin1(c.host);

    const bool opened = ftp.OpenConnection(QStringLiteral("%1:%2").arg(host).arg(server.port()),
                                           FtpTestServer::userName(), FtpTestServer::serverPassword());
    const QStringList handshakeOnly
        = security == inet::Security::ExplicitTls ? QStringList{QStringLiteral("AUTH TLS")} : QStringList{};
    if (c.code == 0) {
        ASSERT_TRUE(opened) << ftp.GetLastErrorMessage().toStdString();
        EXPECT_TRUE(ftp.isEncrypted());
        EXPECT_EQ(server.transcript().mid(0, handshakeOnly.size() + 1), handshakeOnly + QStringList{"USER quelmo"});
        return;
    }
    EXPECT_FALSE(opened);
    EXPECT_FALSE(ftp.isConnected());
    const QString message = QString::fromLatin1(c.message).arg(host, files.serverPin, pin);
    EXPECT_EQ(ftp.GetLastErrorMessage(),
              QStringLiteral("InternetConnect error code: %1 Message: %2\r\n").arg(c.code).arg(message));
    EXPECT_EQ(server.transcript(), handshakeOnly);
}

INSTANTIATE_TEST_SUITE_P(Cases, Certificates,
                         ::testing::Combine(::testing::Values(inet::Security::ExplicitTls, inet::Security::ImplicitTls),
                                            ::testing::ValuesIn(CertificateCases)),
                         [](const auto &info) {
                             return securityName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
                         });

// A server that will not encrypt is not used, least of all for the
// password.
TEST(EncryptionRefused, PlainServerAskedForTlsIsNotUsed)
{
    FtpTestServer server;
    ASSERT_TRUE(server.start()) << server.errorString().toStdString();
    cFTP ftp;
    ftp.SetTimeout(ShortTimeoutMs);

    ftp.SetSecurity(inet::Security::ExplicitTls);
    EXPECT_FALSE(logIn(ftp, server));
    EXPECT_EQ(ftp.GetLastErrorMessage(),
              QStringLiteral("InternetConnect error code: 12171 Message: 127.0.0.1 refuses AUTH TLS: 500 Command "
                             "\"AUTH\" not understood.\r\n"));
    EXPECT_EQ(server.transcript(), QStringList{QStringLiteral("AUTH TLS")});

    server.clearTranscript();
    ftp.SetSecurity(inet::Security::ImplicitTls);
    EXPECT_FALSE(logIn(ftp, server));
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(
        QStringLiteral("InternetConnect error code: 12157 Message: TLS handshake with 127.0.0.1 failed: ")))
        << ftp.GetLastErrorMessage().toStdString();
    EXPECT_FALSE(server.transcript().join(QLatin1Char('\n')).contains(QLatin1String("USER")));
}

// ---------------------------------------------------------------------------
// Data connections resume the control connection's session

struct ReuseCase
{
    const char *name;
    const char *version;
    inet::DataMode mode;
};

const ReuseCase ReuseCases[] = {
    {"Tls12_Active", "1.2", inet::DataMode::Active},
    {"Tls12_Passive", "1.2", inet::DataMode::Passive},
    {"Tls13_Active", "1.3", inet::DataMode::Active},
    {"Tls13_Passive", "1.3", inet::DataMode::Passive},
};

void PrintTo(const ReuseCase &c, std::ostream *os)
{
    *os << c.name;
}

class SessionReuse : public FtpClientFixture, public ::testing::TestWithParam<ReuseCase>
{};

// The server refuses (522) every data connection that does not resume the
// control connection's session, as vsftpd does by default; uploads,
// downloads and listings all need one. The server itself is checked to
// refuse a fresh session in ftpserver_selftest.
TEST_P(SessionReuse, IsWhatAServerThatRequiresItGets)
{
    ASSERT_NO_FATAL_FAILURE(begin(
        DataLink{GetParam().mode, inet::Security::ExplicitTls},
        {QStringLiteral("--require-reuse"), QStringLiteral("--tls-version"), QString::fromLatin1(GetParam().version)}));
    for (int round = 0; round < 3; ++round) {
        const QByteArray data(70000 + round, char('a' + round));
        const QString name = QStringLiteral("r%1.bin").arg(round);
        writeLocal(name, data);
        ASSERT_TRUE(upload(name, name)) << error();
        EXPECT_EQ(server.readFile(name), data);
        ASSERT_TRUE(download(name, name + QStringLiteral(".back"))) << error();
        EXPECT_EQ(readLocal(name + QStringLiteral(".back")), data);
    }
    EXPECT_EQ(ftp.GetFTPdir(QStringLiteral("r*.bin")).split(QLatin1Char(',')).size(), 3) << error();
}

INSTANTIATE_TEST_SUITE_P(Versions, SessionReuse, ::testing::ValuesIn(ReuseCases), ByRowName());

// The data connection's certificate must be the control connection's:
// another one, even if it might pass on its own, is somebody else.
class DataCertificate : public FtpClientTest
{
protected:
    QStringList serverArgs() const override
    {
        const Files &files = testCertificates();
        return {QStringLiteral("--data-cert"), files.selfSigned, files.selfSignedKey};
    }
};

TEST_P(DataCertificate, OtherThanTheControlConnectionsIsRefused)
{
    server.writeFile(QStringLiteral("a.bin"), QByteArray(1000, 'a'));
    EXPECT_FALSE(download(QStringLiteral("a.bin"), QStringLiteral("a.bin")));
    EXPECT_EQ(ftp.GetLastErrorMessage(),
              QStringLiteral("FtpOpenFile:GetFile error code: 12169 Message: the data connection from 127.0.0.1 "
                             "presented another certificate than the control connection\r\n"));
    EXPECT_FALSE(QFile::exists(localPath(QStringLiteral("a.bin"))));
    // The server's word on the abandoned transfer was taken: the
    // connection goes on in step.
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("none.bin")), -1) << error();
}

INSTANTIATE_TEST_SUITE_P(Links, DataCertificate,
                         ::testing::Values(DataLink{inet::DataMode::Active, inet::Security::ExplicitTls},
                                           DataLink{inet::DataMode::Passive, inet::Security::ExplicitTls}),
                         ByDataLink());

// ---------------------------------------------------------------------------
// The program lets the window's events run during a transfer: Qt then
// reads and decrypts in between, and a transfer must still see every byte.

class PumpedTransfer : public FtpClientTest
{};

TEST_P(PumpedTransfer, LargeFilesArriveWhileEventsRun)
{
    // As the program's desktop pumps: every few milliseconds.
    QElapsedTimer sincePump;
    sincePump.start();
    ftp.SetPacing(
        [&](int) {
            if (sincePump.elapsed() >= 4) {
                QCoreApplication::processEvents();
                sincePump.restart();
            }
        },
        [](int) {});
    QByteArray data(21 * 1024 * 1024 + 7, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(i * 7 + i / 4099);
    server.writeFile(QStringLiteral("big.bin"), data);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(download(QStringLiteral("big.bin"), QStringLiteral("big.bin"))) << error();
    EXPECT_EQ(readLocal(QStringLiteral("big.bin")), data);
    ASSERT_TRUE(upload(QStringLiteral("big.bin"), QStringLiteral("back.bin"))) << error();
    EXPECT_EQ(server.readFile(QStringLiteral("back.bin")), data);
    EXPECT_LT(clock.elapsed(), ShortTimeoutMs) << "no wait ran into its timeout";
}

INSTANTIATE_FOR_EVERY_LINK(PumpedTransfer);

// ---------------------------------------------------------------------------
// Auto data mode: passive, and active once passive cannot be had

struct AutoCase
{
    const char *name;
    const char *serverSwitch;
    QStringList firstTransfer; // the commands before the STOR
    QStringList laterTransfer; // the same for the next STOR
    const char *notice;        // nullptr: none
};

const AutoCase AutoCases[] = {
    {"PassiveRefused",
     "--refuse-passive",
     {"EPSV", "PASV", "PORT 127,0,0,1,*,*"},
     {"PORT 127,0,0,1,*,*"},
     "passive data connections failed (500 Command \"PASV\" not understood.); active ones are used for the rest of "
     "the connection"},
    {"PassivePortUnreachable",
     "--dead-passive",
     {"EPSV", "PORT 127,0,0,1,*,*"},
     {"PORT 127,0,0,1,*,*"},
     "passive data connections failed (A connection with the server could not be established, error code 12029); "
     "active ones are used for the rest of the connection"},
    {"ActiveRefused", "--refuse-active", {"EPSV"}, {"EPSV"}, nullptr},
};

void PrintTo(const AutoCase &c, std::ostream *os)
{
    *os << c.name;
}

class AutoMode : public FtpClientFixture, public ::testing::TestWithParam<std::tuple<inet::Security, AutoCase>>
{};

TEST_P(AutoMode, GoesActiveOnceForTheRestOfTheConnectionWhenPassiveFails)
{
    const auto &[security, c] = GetParam();
    QStringList notices;
    QObject::connect(&ftp, &cFTP::notice, [&](const QString &text) { notices.append(text); });
    ASSERT_NO_FATAL_FAILURE(begin(DataLink{inet::DataMode::Auto, security}, {QString::fromLatin1(c.serverSwitch)}));
    writeLocal(QStringLiteral("a.bin"), QByteArray(3000, 'a'));

    // The commands up to the data transfer; the upload's verification follows.
    const auto untilStor = [&](const QString &name) {
        const QStringList said = server.transcript();
        return said.mid(0, said.indexOf(QStringLiteral("STOR ") + name) + 1);
    };
    server.clearTranscript();
    ASSERT_TRUE(upload(QStringLiteral("a.bin"), QStringLiteral("a.bin"))) << error();
    EXPECT_EQ(untilStor(QStringLiteral("a.bin")),
              QStringList{QStringLiteral("TYPE I")} + c.firstTransfer + QStringList{"STOR a.bin"});
    server.clearTranscript();
    ASSERT_TRUE(upload(QStringLiteral("a.bin"), QStringLiteral("b.bin"))) << error();
    EXPECT_EQ(untilStor(QStringLiteral("b.bin")), c.laterTransfer + QStringList{"STOR b.bin"});
    ASSERT_TRUE(download(QStringLiteral("b.bin"), QStringLiteral("b.bin"))) << error();
    EXPECT_EQ(readLocal(QStringLiteral("b.bin")), QByteArray(3000, 'a'));
    EXPECT_EQ(notices, c.notice ? QStringList{QString::fromUtf8(c.notice)} : QStringList{}) << "said once";

    // A new connection tries passive afresh.
    ASSERT_TRUE(connect());
    server.clearTranscript();
    ASSERT_TRUE(upload(QStringLiteral("a.bin"), QStringLiteral("c.bin"))) << error();
    EXPECT_EQ(untilStor(QStringLiteral("c.bin")),
              QStringList{QStringLiteral("TYPE I")} + c.firstTransfer + QStringList{"STOR c.bin"});
}

INSTANTIATE_TEST_SUITE_P(Servers, AutoMode,
                         ::testing::Combine(::testing::Values(inet::Security::None, inet::Security::ExplicitTls),
                                            ::testing::ValuesIn(AutoCases)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) == inet::Security::None ? "Plain" : "Tls") + "_"
                                    + std::get<1>(info.param).name;
                         });

} // namespace
