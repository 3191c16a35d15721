#include <QFile>

#include "platform/inet/errors.h"
#include "support/ftpclientfixture.h"
#include "support/qtprint.h"

namespace {

class Operations : public FtpClientTest
{};

TEST_P(Operations, GetFTPdirListsInServerOrderWithoutDotEntries)
{
    server.writeFile(QStringLiteral("out/a.zip"), "a");
    server.writeFile(QStringLiteral("out/b.zip"), "bb");
    server.writeFile(QStringLiteral("out/c.zip"), "ccc");
    server.writeFile(QStringLiteral("out/note.txt"), "n");
    server.writeFile(QStringLiteral("out/with space.zip"), "s");
    server.mkdir(QStringLiteral("out/sub.zip"));

    struct
    {
        const char *pattern;
        const char *listing;
    } const cases[] = {
        {"/out/*.zip", "a.zip,b.zip,c.zip,sub.zip,with space.zip"},
        {"/out/b.zip", "b.zip"},
        {"/out/?.zip", "a.zip,b.zip,c.zip"},
        {"/out/*", "a.zip,b.zip,c.zip,note.txt,sub.zip,with space.zip"},
        {"/out/", "a.zip,b.zip,c.zip,note.txt,sub.zip,with space.zip"},
        {"/out/*.rar", ""},
        {"/missing/*.zip", ""},
        {"out/n*", "note.txt"},
    };
    ftp.SetFTPDirectory(QStringLiteral("/"));
    for (const auto &c : cases) {
        QStringList names = ftp.GetFTPdir(QString::fromUtf8(c.pattern)).split(QLatin1Char(','), Qt::SkipEmptyParts);
        // pyftpdlib lists in directory order, which is the file system's;
        // the order we hand on is the server's, so compare as sets here and
        // check the joining separately.
        names.sort();
        EXPECT_EQ(names.join(QLatin1Char(',')).toStdString(), c.listing) << c.pattern;
    }
    EXPECT_EQ(ftp.GetLastErrorMessage(), QString()) << "a search that finds nothing sets no text";
    EXPECT_EQ(ftp.GetFTPdir(QStringLiteral("/out/*.zip"), true).split(QLatin1Char(',')).size(), 4)
        << "folders are left out on request";
}

TEST_P(Operations, GetFTPdirJoinsWithCommasOnly)
{
    server.writeFile(QStringLiteral("one"), "1");
    server.writeFile(QStringLiteral("two"), "2");
    const QString listing = ftp.GetFTPdir(QStringLiteral("/t*"));
    EXPECT_EQ(listing, QStringLiteral("two"));
    const QString both = ftp.GetFTPdir(QStringLiteral("/*o*"));
    EXPECT_TRUE(both == QStringLiteral("one,two") || both == QStringLiteral("two,one")) << both.toStdString();
}

TEST_P(Operations, FileSizes)
{
    server.writeFile(QStringLiteral("k.bin"), QByteArray(1000, 'k'));
    server.writeFile(QStringLiteral("empty.bin"), QByteArray());
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("/k.bin")), 1000);
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("/empty.bin")), 0);
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("/none.bin")), -1);
    EXPECT_EQ(ftp.GetLastErrorMessage(), QString()) << "no match is no failure";
}

TEST_P(Operations, EmptyRemoteFileDownloadsAsAnEmptyFile)
{
    server.writeFile(QStringLiteral("empty.bin"), QByteArray());
    QList<std::pair<qint64, qint64>> events;
    QObject::connect(&ftp, &cFTP::FileTransferProgress, [&](qint64 c, qint64 t) { events.append({c, t}); });
    QString l = local.filePath(QStringLiteral("empty.bin"));
    QString r = QStringLiteral("/empty.bin");
    ASSERT_TRUE(ftp.FTPDownloadFile(l, r)) << ftp.GetLastErrorMessage().toStdString();
    EXPECT_TRUE(QFile::exists(l));
    EXPECT_EQ(QFile(l).size(), 0);
    EXPECT_EQ(events, (QList<std::pair<qint64, qint64>>{{0, 0}}));
}

TEST_P(Operations, FileAndDirectoryOperations)
{
    server.writeFile(QStringLiteral("old.txt"), "x");
    EXPECT_TRUE(ftp.RenameFTPFile(QStringLiteral("/old.txt"), QStringLiteral("/new.txt")));
    EXPECT_FALSE(server.exists(QStringLiteral("old.txt")));
    EXPECT_TRUE(server.exists(QStringLiteral("new.txt")));

    EXPECT_TRUE(ftp.CreateFTPDirectory(QStringLiteral("/made")));
    EXPECT_TRUE(server.exists(QStringLiteral("made")));
    EXPECT_TRUE(ftp.SetFTPDirectory(QStringLiteral("/made")));
    EXPECT_EQ(ftp.GetFTPDirectory(), QStringLiteral("/made"));
    EXPECT_TRUE(ftp.SetFTPDirectory(QStringLiteral("/")));
    EXPECT_EQ(ftp.GetFTPDirectory(), QStringLiteral("/"));
    EXPECT_TRUE(ftp.RemoveFTPDirectory(QStringLiteral("/made")));
    EXPECT_FALSE(server.exists(QStringLiteral("made")));

    EXPECT_TRUE(ftp.DeleteFTPFile(QStringLiteral("/new.txt")));
    EXPECT_FALSE(server.exists(QStringLiteral("new.txt")));
    EXPECT_EQ(ftp.GetLastErrorMessage(), QString());
}

TEST_P(Operations, CurrentDirectoryUndoesDoubledQuotes)
{
    server.mkdir(QStringLiteral("say \"hi\""));
    ASSERT_TRUE(ftp.SetFTPDirectory(QStringLiteral("/say \"hi\"")));
    EXPECT_EQ(ftp.GetFTPDirectory(), QStringLiteral("/say \"hi\""));
}

TEST_P(Operations, NegativeRepliesCarryTheServersText)
{
    struct
    {
        const char *what;
        std::function<bool()> call;
    } const cases[] = {
        {"delete", [&] { return ftp.DeleteFTPFile(QStringLiteral("/none.txt")); }},
        {"rename", [&] { return ftp.RenameFTPFile(QStringLiteral("/none.txt"), QStringLiteral("/x")); }},
        {"rmdir", [&] { return ftp.RemoveFTPDirectory(QStringLiteral("/none")); }},
        {"cwd", [&] { return ftp.SetFTPDirectory(QStringLiteral("/none")); }},
    };
    for (const auto &c : cases) {
        EXPECT_FALSE(c.call()) << c.what;
        const QString text = ftp.GetLastErrorMessage();
        EXPECT_TRUE(text.startsWith(QStringLiteral("550 "))) << c.what << ": " << text.toStdString();
        EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n"))) << c.what;
        EXPECT_TRUE(ftp.isConnected()) << c.what;
    }
}

TEST_P(Operations, WithoutConnectionEveryOperationFails)
{
    ftp.CloseConnection();
    EXPECT_FALSE(ftp.DeleteFTPFile(QStringLiteral("/a")));
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(QStringLiteral("DeleteFTPFile error code: 12019 Message: ")));
    EXPECT_EQ(ftp.GetFTPFileSize(QStringLiteral("/a")), -2);
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(QStringLiteral("FtpFindFirstFile error code: ")));
    EXPECT_EQ(ftp.GetFTPdir(QStringLiteral("/*")), QString());
    EXPECT_EQ(ftp.GetFTPDirectory(), QString());
}

TEST_P(Operations, SimpleTransfers)
{
    const QString src = local.filePath(QStringLiteral("src.bin"));
    {
        QFile f(src);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(700000, 's'));
    }
    ASSERT_TRUE(ftp.SimpleFTPPutFile(src, QStringLiteral("/s.bin"))) << ftp.GetLastErrorMessage().toStdString();
    EXPECT_EQ(server.readFile(QStringLiteral("s.bin")).size(), 700000);

    const QString dst = local.filePath(QStringLiteral("dst.bin"));
    {
        QFile f(dst);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(900000, 'o'));
    }
    ASSERT_TRUE(ftp.SimpleFTPGetFile(dst, QStringLiteral("/s.bin"))) << ftp.GetLastErrorMessage().toStdString();
    QFile f(dst);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(700000, 's')) << "an existing local file is replaced whole";

    EXPECT_FALSE(ftp.SimpleFTPGetFile(dst, QStringLiteral("/none.bin")));
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(QStringLiteral("550 ")));
    EXPECT_EQ(QFile(dst).size(), 700000) << "a failed fetch leaves the old local file alone";
    EXPECT_FALSE(ftp.SimpleFTPPutFile(local.filePath(QStringLiteral("none")), QStringLiteral("/n.bin")));
    EXPECT_TRUE(ftp.GetLastErrorMessage().startsWith(QStringLiteral("SimpleFtpPutFile error code: 2 ")));
}

INSTANTIATE_FOR_EVERY_LINK(Operations);

// The same searches over the other listing formats a server may speak.
class ListingFormats : public FtpClientTest
{};

TEST_P(ListingFormats, ListWithoutMlsdAndDosStyle)
{
    for (const QStringList &args : {QStringList{QStringLiteral("--no-mlsd")},
                                    QStringList{QStringLiteral("--no-mlsd"), QStringLiteral("--dos-list")}}) {
        const TestCertificates &certificates = testCertificates();
        cFTP client;
        QStringList serverArgs = args;
        if (GetParam().encrypted()) {
            serverArgs += tlsServerArgs(GetParam().security, certificates.trusted, certificates.serverKey);
            client.SetSecurity(GetParam().security, {certificates.caFile, {}});
        }
        FtpTestServer other;
        ASSERT_TRUE(other.start({.extraArgs = serverArgs})) << other.errorString().toStdString();
        other.writeFile(QStringLiteral("d/big file.bin"), QByteArray(3000, 'b'));
        other.writeFile(QStringLiteral("d/x.bin"), QByteArray(10, 'x'));
        other.mkdir(QStringLiteral("d/sub.bin"));
        client.SetTimeout(ShortTimeoutMs);
        if (GetParam().mode == inet::DataMode::Passive)
            client.SetModePassive();
        ASSERT_TRUE(logIn(client, other));
        QStringList names = client.GetFTPdir(QStringLiteral("/d/*.bin")).split(QLatin1Char(','));
        names.sort();
        EXPECT_EQ(names,
                  (QStringList{QStringLiteral("big file.bin"), QStringLiteral("sub.bin"), QStringLiteral("x.bin")}))
            << args.join(' ').toStdString();
        EXPECT_EQ(client.GetFTPFileSize(QStringLiteral("/d/big file.bin")), 3000) << args.join(' ').toStdString();
        EXPECT_EQ(client.GetFTPdir(QStringLiteral("/d/*.bin"), true).split(QLatin1Char(',')).size(), 2);
    }
}

INSTANTIATE_FOR_EVERY_LINK(ListingFormats);

// A server without EPSV gets PASV; and the address its PASV reply names is
// not where the data goes: only the server we talk to is ever connected to.
class PassiveFallback : public FtpClientFixture, public ::testing::Test
{};

TEST_F(PassiveFallback, PasvReplyAddressIsNotFollowed)
{
    ASSERT_NO_FATAL_FAILURE(
        begin(inet::DataMode::Passive,
              {QStringLiteral("--no-epsv"), QStringLiteral("--pasv-address"), QStringLiteral("127.0.0.2")}));
    server.writeFile(QStringLiteral("p.bin"), QByteArray(1000, 'p'));
    // The second one goes straight to PASV (its commands are pinned in
    // ftp_protocol_test.cpp).
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(download(QStringLiteral("/p.bin"), QStringLiteral("p.bin"))) << error();
        EXPECT_EQ(QFile(localPath(QStringLiteral("p.bin"))).size(), 1000);
    }
}

} // namespace
