// A whole job on a site that chooses its data mode and its encryption: what
// the settings and the FTPURL forms make of the connection, what the status
// line and standard error say, and the exit code.

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>

#include <vector>

#include "platform/exitcode.h"
#include "support/jobfixture.h"
#include "support/qtprint.h"
#include "support/tlsfiles.h"

namespace {

enum class Server { Plain, Explicit, Implicit, ImplicitSelfSigned, ExplicitExpired, PassiveRefused };

// In the site lines and expected lines: @S the server's address, @C the
// test authority's file, @P the pin of the self-signed server's key.
struct SiteCase
{
    const char *name;
    Server server;
    const char *site; // the site's lines beyond ftpdir and localdir
    int exitCode;
    std::vector<const char *> lines;
    bool transferred;
    bool encrypted;
};

void PrintTo(const SiteCase &c, std::ostream *os)
{
    *os << c.name;
}

QStringList serverArgs(Server server)
{
    const TestCertificates &files = testCertificates();
    switch (server) {
    case Server::Plain:
        return {};
    case Server::Explicit:
        return tlsServerArgs(inet::Security::ExplicitTls, files.trusted, files.serverKey);
    case Server::Implicit:
        return tlsServerArgs(inet::Security::ImplicitTls, files.trusted, files.serverKey);
    case Server::ImplicitSelfSigned:
        return tlsServerArgs(inet::Security::ImplicitTls, files.selfSigned, files.selfSignedKey);
    case Server::ExplicitExpired:
        return tlsServerArgs(inet::Security::ExplicitTls, files.expired, files.serverKey);
    case Server::PassiveRefused:
        return {QStringLiteral("--refuse-passive")};
    }
    return {};
}

const QString Downloading = QStringLiteral("Status: prenos iz strežnika...");

// The lines of text drawn in a label's picture: runs of rows with anything
// but the background colour on them.
int textLines(const QImage &image)
{
    const QRgb background = image.pixel(0, 0);
    int lines = 0;
    bool inLine = false;
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < image.width() && !ink; ++x)
            ink = image.pixel(x, y) != background;
        lines += ink && !inLine;
        inLine = ink;
    }
    return lines;
}

class SiteConnection : public JobTest, public ::testing::WithParamInterface<SiteCase>
{
protected:
    QString fill(QString text) const
    {
        const TestCertificates &files = testCertificates();
        return text.replace(QStringLiteral("@S"), server.address())
            .replace(QStringLiteral("@C"), files.caFile)
            .replace(QStringLiteral("@P"), files.selfSignedPin);
    }
};

TEST_P(SiteConnection, JobConnectsAsTheSettingsSay)
{
    const SiteCase &c = GetParam();
    startServer(serverArgs(c.server));
    server.writeFile(QStringLiteral("a.txt"), "a");
    server.writeFile(QStringLiteral("b.txt"), "bb");
    const QString site = fill(QString::fromUtf8(c.site));
    QFile ini(programDir.filePath(QStringLiteral("quelmo.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[PROGRAM]\nIZBRANO=site\n[site]\nftpdir=/\nlocaldir=%1/\nprenos1=a.txt,DOWN\n"
                             "prenos2=b.txt,DOWN\n%2")
                  .arg(localDir(), site)
                  .toUtf8());
    ini.close();
    load();
    // The server field shows the address as the settings give it.
    const QString url = site.section(QStringLiteral("FTPURL="), 1).section(QLatin1Char('\n'), 0, 0);
    EXPECT_EQ(form->textURL->text(), url);

    EXPECT_EQ(run([&] { form->Form_Activate(); }), c.exitCode);
    QStringList expected;
    for (const char *line : c.lines)
        expected << fill(QString::fromUtf8(line));
    EXPECT_EQ(desktop.diagnostics, expected);
    EXPECT_EQ(QFile::exists(localFile(QStringLiteral("a.txt"))), c.transferred);
    EXPECT_EQ(QFile::exists(localFile(QStringLiteral("b.txt"))), c.transferred);
    if (c.transferred) {
        const QString shown = c.encrypted ? Downloading + QStringLiteral(" (TLS)") : Downloading;
        EXPECT_TRUE(statuses.contains(shown)) << statuses.join(QLatin1Char('|')).toStdString();
    }
}

// clang-format off
const SiteCase SiteCases[] = {
    {"ftpes_url", Server::Explicit, "FTPURL=ftpes://@S\ntlsca=@C\n", ExitCode::Done, {}, true, true},
    {"ftps_url", Server::Implicit, "FTPURL=ftps://@S/\ntlsca=@C\n", ExitCode::Done, {}, true, true},
    {"ftp_url", Server::Plain, "FTPURL=ftp://@S\n", ExitCode::Done, {}, true, false},
    {"tls_key", Server::Explicit, "FTPURL=@S\ntls=Explicit\ntlsca=@C\n", ExitCode::Done, {}, true, true},
    {"pinned_self_signed", Server::ImplicitSelfSigned, "FTPURL=ftps://@S\ntlspin=@P\n", ExitCode::Done, {}, true,
     true},
    {"key_over_scheme", Server::Explicit, "FTPURL=ftps://@S\ntls=explicit\ntlsca=@C\n", ExitCode::Done,
     {"quelmo: warning: [site] ftps://@S (TLS): FTPURL \"ftps://@S\" asks for implicit TLS, but tls=explicit is used"},
     true, true},
    {"plain_server_refuses_tls", Server::Plain, "FTPURL=@S\ntls=explicit\n", ExitCode::NotConnected,
     {"quelmo: error: [site] @S (TLS): InternetConnect error code: 12171 Message: 127.0.0.1 refuses AUTH TLS: 500 "
      "Command \"AUTH\" not understood."},
     false, false},
    {"expired_certificate", Server::ExplicitExpired, "FTPURL=ftpes://@S\ntlsca=@C\n", ExitCode::NotConnected,
     {"quelmo: error: [site] ftpes://@S (TLS): InternetConnect error code: 12037 Message: certificate for 127.0.0.1 "
      "has expired on 2021-01-01"},
     false, false},
    {"path_in_url", Server::Plain, "FTPURL=ftp://@S/pub/\n", ExitCode::NotConnected,
     {"quelmo: error: [site] ftp://@S/pub/: InternetConnect error code: 12005 Message: the server address "
      "ftp://@S/pub/ names a path (/pub/); only a host and a port may follow ftp://"},
     false, false},
    {"credentials_in_url", Server::Plain, "FTPURL=ftp://quelmo:hidden@@S\n", ExitCode::NotConnected,
     {"quelmo: error: [site] ftp://***@@S: InternetConnect error code: 12005 Message: the server address carries a "
      "user name or password (before \"@\"); give them as the site's own settings"},
     false, false},
    {"unknown_tls_word", Server::Plain, "FTPURL=@S\ntls=yes\n", ExitCode::NotConnected,
     {"quelmo: error: [site] @S: tls \"yes\" is not one of none, explicit and implicit; the server is not "
      "connected to"},
     false, false},
    {"auto_mode_on_a_server_refusing_passive", Server::PassiveRefused, "FTPURL=@S\ndatamode=auto\n", ExitCode::Done,
     {"quelmo: warning: [site] @S: passive data connections failed (500 Command \"PASV\" not understood.); active "
      "ones are used for the rest of the connection"},
     true, false},
    {"unknown_data_mode", Server::Plain, "FTPURL=@S\ndatamode=fast\n", ExitCode::Done,
     {"quelmo: warning: [site] @S: datamode \"fast\" is not one of active, passive and auto; active is used"},
     true, false},
    {"trust_without_tls", Server::Plain, "FTPURL=@S\ntlsca=@C\n", ExitCode::Done,
     {"quelmo: warning: [site] @S: tlsca or tlspin is set, but the site does not use TLS: they are not used"},
     true, false},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Sites, SiteConnection, ::testing::ValuesIn(SiteCases),
                         [](const auto &info) { return std::string(info.param.name); });

// A site whose tls word is unknown is not connected to at all: not even a
// greeting is asked for.
TEST_F(JobTest, UnknownTlsWordSendsNothing)
{
    startServer();
    writeSettings(QStringLiteral("tls=ssl\nprenos1=a.txt\n"));
    writeLocal(QStringLiteral("a.txt"), "a");
    load();
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::NotConnected);
    EXPECT_EQ(server.transcript(), QStringList());
    EXPECT_FALSE(server.exists(QStringLiteral("a.txt")));
}

// The status line shows the mark: it is drawn, not cut off behind the
// label's edge.
TEST_F(JobTest, StatusLineDrawsTheTlsMark)
{
    const TestCertificates &files = testCertificates();
    startServer(tlsServerArgs(inet::Security::ExplicitTls, files.trusted, files.serverKey));
    server.writeFile(QStringLiteral("a.txt"), QByteArray(2000, 'a'));
    writeSettings(QStringLiteral("tls=explicit\ntlsca=%1\nprenos1=a.txt,DOWN\n").arg(files.caFile));
    load();
    form->show();
    QImage during;
    QObject::connect(form->ftp(), &cFTP::FileTransferProgress, [&] {
        if (during.isNull())
            during = form->Label3->grab().toImage();
    });
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::Done);
    ASSERT_FALSE(during.isNull());
    form->Label3->setText(Downloading + QStringLiteral(" (TLS)"));
    EXPECT_EQ(form->Label3->grab().toImage(), during) << "the status during the transfer carries the mark";
    // The plain status fills a line; the mark takes a line of its own
    // rather than an ellipsis at the end of the first.
    form->Label3->setText(Downloading);
    EXPECT_EQ(textLines(form->Label3->grab().toImage()), 1);
    EXPECT_EQ(textLines(during), 2);
}

} // namespace
