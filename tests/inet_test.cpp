// The seams inside the Internet client layer: a file's narrow link to its
// connection, the thread's last error set only at the public edge, the
// control channel's reading of a 421, and the connection options.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QSslSocket>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/inet/errors.h"
#include "platform/inet/ftpconnection.h"
#include "platform/inet/ftpfile.h"
#include "platform/inet/link.h"
#include "platform/inet/listing.h"
#include "platform/inet/session.h"
#include "platform/inet/socket.h"
#include "platform/inet/wait.h"
#include "support/ftpserver.h"
#include "support/paramnames.h"
#include "support/qtprint.h"

namespace {

using inet::Failure;
using inet::FileAccess;
using inet::FtpFile;
using inet::Reply;
using inet::Result;

constexpr int ShortTimeoutMs = 1500;
const QString Full = QStringLiteral("552 Disk full (test).\r\n");

// The connection side of a file, as the file sees it: it answers the final
// reply it was given and counts what the file asked of it.
class RecordingLink final : public inet::ConnectionLink
{
public:
    explicit RecordingLink(Result<Reply> reply) : mReply(std::move(reply)) {}

    int timeoutMs() const override { return ShortTimeoutMs; }
    const inet::WaitHook &waitHook() const override { return hook; }
    Result<Reply> finalReply() override
    {
        ++finalReplies;
        dataClosedAtFinalReply = data && data->state() == QAbstractSocket::UnconnectedState;
        return mReply;
    }
    void resynchronize(int waitMs) override { resyncWaits.append(waitMs); }
    void release() override { ++releases; }

    // The file's data socket, to see its state when the final reply is read.
    QSslSocket *data = nullptr;
    inet::WaitHook hook;
    int finalReplies = 0;
    bool dataClosedAtFinalReply = false;
    QList<int> resyncWaits;
    int releases = 0;

private:
    Result<Reply> mReply;
};

Result<Reply> transferComplete()
{
    return Reply{226, QStringLiteral("226 Transfer complete.\r\n")};
}

// A data connection over loopback: our end for the file, the server's end
// for the test to feed or drain.
class DataPair : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
        client = std::make_unique<QSslSocket>();
        client->connectToHost(QHostAddress::LocalHost, listener.serverPort());
        ASSERT_TRUE(client->waitForConnected(ShortTimeoutMs));
        ASSERT_TRUE(listener.waitForNewConnection(ShortTimeoutMs));
        server = listener.nextPendingConnection();
        ASSERT_NE(server, nullptr);
    }

    // The server sends the bytes and closes its end, as after a RETR.
    void serve(const QByteArray &bytes)
    {
        server->write(bytes);
        server->disconnectFromHost();
        if (server->state() != QAbstractSocket::UnconnectedState) {
            ASSERT_TRUE(server->waitForDisconnected(ShortTimeoutMs));
        }
    }

    std::unique_ptr<FtpFile> open(RecordingLink &link, FileAccess access)
    {
        link.data = client.get();
        return std::make_unique<FtpFile>(link, std::move(client), access);
    }

    QTcpServer listener;
    std::unique_ptr<QSslSocket> client;
    QTcpSocket *server = nullptr;
};

QByteArray readAll(FtpFile &file, qint64 limit = -1)
{
    QByteArray got;
    char block[255];
    while (limit < 0 || got.size() < limit) {
        const qint64 want = limit < 0 ? qint64(sizeof block) : qMin<qint64>(sizeof block, limit - got.size());
        const qint64 n = file.read(block, want);
        if (n <= 0)
            break;
        got.append(block, n);
    }
    return got;
}

// ---------------------------------------------------------------------------
// How a download ends

struct CloseCase
{
    const char *name;
    qint64 readBytes;             // -1: up to the end of the data
    std::optional<int> replyCode; // none: the final reply never came (12030)
    int code;                     // the last error after close(); 0: close() succeeds
    bool abandoned;               // the connection had to resynchronize
};

void PrintTo(const CloseCase &c, std::ostream *os)
{
    *os << c.name;
}

class DownloadClose : public DataPair, public ::testing::WithParamInterface<CloseCase>
{};

// close() is where a transfer is judged: the data must have ended where the
// caller stopped, and then only the server's final reply decides. A file
// given up on must make its connection take the reply it will never read,
// or the next command would be answered by it.
TEST_P(DownloadClose, JudgesByTheDataAndTheFinalReply)
{
    const CloseCase &c = GetParam();
    const QByteArray data(1000, 'x');
    Result<Reply> reply = c.replyCode
                              ? Result<Reply>(Reply{*c.replyCode, QString::number(*c.replyCode) + " (test).\r\n"})
                              : Result<Reply>(Failure{inet::ErrorConnectionAborted});
    RecordingLink link(reply);
    auto file = open(link, FileAccess::Read);
    ASSERT_NO_FATAL_FAILURE(serve(data));
    EXPECT_EQ(readAll(*file, c.readBytes), c.readBytes < 0 ? data : data.left(c.readBytes));
    inet::setLastError(inet::NoError);

    EXPECT_EQ(file->close(), c.code == inet::NoError);
    EXPECT_EQ(inet::lastError(), c.code);
    if (c.code == inet::ErrorExtendedError) {
        EXPECT_EQ(inet::lastResponseInfo(), QStringLiteral("552 (test).\r\n"));
    }
    EXPECT_EQ(link.resyncWaits.size(), c.abandoned ? 1 : 0);
    EXPECT_EQ(link.finalReplies, c.abandoned ? 0 : 1);

    file.reset();
    EXPECT_EQ(link.releases, 1);
    EXPECT_EQ(link.resyncWaits.size(), c.abandoned ? 1 : 0) << "a closed file is not abandoned again";
}

const CloseCase CloseCases[] = {
    {"WholeFileAnd226", -1, 226, inet::NoError, false},
    {"WholeFileAnd552", -1, 552, inet::ErrorExtendedError, false},
    {"WholeFileAndA150", -1, 150, inet::ErrorInvalidServerResponse, false},
    {"WholeFileAndNoReply", -1, std::nullopt, inet::ErrorConnectionAborted, false},
    {"DataLeftUnread", 400, 226, inet::ErrorInvalidServerResponse, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, DownloadClose, ::testing::ValuesIn(CloseCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The server learns that an upload is complete when our data connection
// closes, and only then sends its final reply: reading it any earlier would
// wait for a reply that cannot come.
TEST_F(DataPair, UploadClosesTheDataBeforeReadingTheFinalReply)
{
    RecordingLink link(transferComplete());
    auto file = open(link, FileAccess::Write);
    QByteArray sent;
    for (int i = 0; i < 1100; ++i) {
        const QByteArray block(255, char('a' + i % 26));
        ASSERT_TRUE(file->write(block.constData(), block.size()));
        sent += block;
    }
    EXPECT_TRUE(file->close()) << inet::lastError();
    QByteArray received;
    while (server->waitForReadyRead(200) || server->bytesAvailable() > 0)
        received += server->readAll();
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_EQ(received, sent);
    EXPECT_EQ(link.finalReplies, 1);
    EXPECT_TRUE(link.dataClosedAtFinalReply);
}

// Dropping a file that was never closed is a clean-up, not a failure: the
// connection is brought back in step and freed, and the thread's last error
// still tells what went wrong before.
TEST_F(DataPair, DroppedUnclosedFileResynchronizesAndLeavesTheLastErrorAlone)
{
    RecordingLink link(transferComplete());
    auto file = open(link, FileAccess::Read);
    inet::setLastError(inet::ErrorTimeout);
    file.reset();
    EXPECT_EQ(link.resyncWaits.size(), 1);
    EXPECT_EQ(link.finalReplies, 0);
    EXPECT_EQ(link.releases, 1);
    EXPECT_EQ(inet::lastError(), inet::ErrorTimeout);
}

TEST_F(DataPair, AFileIsUsedOnlyTheWayItWasOpened)
{
    RecordingLink link(transferComplete());
    auto file = open(link, FileAccess::Read);
    ASSERT_NO_FATAL_FAILURE(serve("abc"));
    EXPECT_FALSE(file->write("x", 1));
    EXPECT_EQ(inet::lastError(), inet::ErrorIncorrectHandleState);
    EXPECT_EQ(readAll(*file), QByteArray("abc"));
    ASSERT_TRUE(file->close());
    char byte = 0;
    EXPECT_EQ(file->read(&byte, 1), -1);
    EXPECT_EQ(inet::lastError(), inet::ErrorIncorrectHandleState);
    EXPECT_FALSE(file->close());
    EXPECT_EQ(link.finalReplies, 1);
}

// ---------------------------------------------------------------------------
// A plain data connection, read and written on its descriptor

// The server's end of the pair, handed to a thread of the test's own as a
// bare descriptor: no Qt object watches it, so nothing in the test's event
// loop takes its bytes.
class PlainPair : public DataPair
{
protected:
    void TearDown() override
    {
        if (feeder.joinable())
            feeder.join();
        if (serverDescriptor >= 0)
            ::close(serverDescriptor);
    }

    // Blocking, as Qt made the shared description non-blocking.
    int takeServer()
    {
        serverDescriptor = ::dup(int(server->socketDescriptor()));
        server->abort();
        ::fcntl(serverDescriptor, F_SETFL, ::fcntl(serverDescriptor, F_GETFL) & ~O_NONBLOCK);
        return serverDescriptor;
    }

    static QByteArray pattern(qsizetype size)
    {
        QByteArray data(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i)
            data[i] = char((i * 7 + i / 251) & 0xFF);
        return data;
    }

    int serverDescriptor = -1;
    std::thread feeder;
};

ssize_t sendAll(int descriptor, const char *data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::send(descriptor, data + done, size - done, MSG_NOSIGNAL);
        if (n <= 0)
            return n;
        done += size_t(n);
    }
    return ssize_t(done);
}

// The bytes come in order and whole while the window's events run between
// the blocks (and Qt takes in a byte of the socket now and then), and a
// server that stops for a while gets the window shown before the wait.
TEST_F(PlainPair, DownloadArrivesWholeWhileTheWindowRuns)
{
    RecordingLink link(transferComplete());
    int hookCalls = 0;
    link.hook = [&] {
        ++hookCalls;
        QCoreApplication::processEvents();
    };
    auto file = open(link, FileAccess::Read);
    const QByteArray data = pattern(3 << 20);
    const int descriptor = takeServer();
    feeder = std::thread([&data, descriptor] {
        constexpr qsizetype Chunk = 64 * 1024;
        for (qsizetype at = 0; at < data.size(); at += Chunk) {
            if (at == data.size() / 2)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (sendAll(descriptor, data.constData() + at, size_t(qMin(Chunk, data.size() - at))) <= 0)
                break;
        }
        ::shutdown(descriptor, SHUT_WR);
    });

    QByteArray got;
    char block[255];
    for (int i = 0;; ++i) {
        const qint64 n = file->read(block, sizeof block);
        if (n <= 0)
            break;
        got.append(block, n);
        if (i % 101 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data) << "every byte in its place";
    EXPECT_GE(hookCalls, 1) << "the server's pause outlasted a glance";
    EXPECT_TRUE(file->close()) << inet::lastError();
}

// A server's pace between its packets: a download looks again without
// sleeping after a short gap and sleeps through a long one, and whichever
// it does, every byte arrives in its place and the end is seen.
struct GapCase
{
    const char *name;
    std::array<int, 2> gapsMicros; // between the chunks, in turn
    int pauseMs;                   // once, halfway; 0: none
    int endMicros;                 // after the last chunk, before the end
    qint64 readBytes;              // what the caller asks for at a time
};

void PrintTo(const GapCase &c, std::ostream *os)
{
    *os << c.name;
}

const GapCase GapCases[] = {
    {"gaps_shorter_than_a_look", {50, 50}, 0, 0, 255},
    {"gaps_longer_than_a_look", {2000, 2000}, 0, 0, 255},
    {"short_and_long_gaps_in_turn", {50, 2000}, 0, 0, 255},
    {"large_reads_between_short_and_long_gaps", {50, 2000}, 0, 0, 256 * 1024},
    {"end_comes_while_looked_for", {50, 50}, 0, 100, 255},
    {"end_comes_after_a_sleep", {50, 50}, 0, 3000, 256 * 1024},
    {"a_pause_beyond_a_glance", {50, 50}, 60, 0, 255},
};

class DownloadGaps : public PlainPair, public ::testing::WithParamInterface<GapCase>
{};

TEST_P(DownloadGaps, ArriveWholeAndEnd)
{
    const GapCase &c = GetParam();
    RecordingLink link(transferComplete());
    int hookCalls = 0;
    link.hook = [&] { ++hookCalls; };
    auto file = open(link, FileAccess::Read);
    const QByteArray data = pattern(1 << 20);
    const int descriptor = takeServer();
    feeder = std::thread([&data, &c, descriptor] {
        constexpr qsizetype Chunk = 16 * 1024;
        for (qsizetype at = 0, i = 0; at < data.size(); at += Chunk, ++i) {
            if (at > 0)
                std::this_thread::sleep_for(std::chrono::microseconds(c.gapsMicros[size_t(i % 2)]));
            if (at == data.size() / 2 && c.pauseMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(c.pauseMs));
            if (sendAll(descriptor, data.constData() + at, size_t(qMin(Chunk, data.size() - at))) <= 0)
                break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(c.endMicros));
        ::shutdown(descriptor, SHUT_WR);
    });

    QByteArray got;
    QByteArray block(c.readBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file->read(block.data(), c.readBytes);
        ASSERT_GE(n, 0) << inet::lastError();
        if (n == 0)
            break;
        got.append(block.constData(), n);
    }
    EXPECT_EQ(got.size(), data.size());
    EXPECT_TRUE(got == data) << "every byte in its place";
    if (c.pauseMs > 0) {
        EXPECT_GE(hookCalls, 1) << "the pause outlasted a glance";
    }
    EXPECT_TRUE(file->close()) << inet::lastError();
}

INSTANTIATE_TEST_SUITE_P(Paces, DownloadGaps, ::testing::ValuesIn(GapCases), ByRowName());

// The data that is there already is read without a word to the window.
TEST_F(PlainPair, DataAtHandNeedsNoWait)
{
    RecordingLink link(transferComplete());
    int hookCalls = 0;
    link.hook = [&] { ++hookCalls; };
    auto file = open(link, FileAccess::Read);
    ASSERT_NO_FATAL_FAILURE(serve(pattern(100000)));
    EXPECT_EQ(readAll(*file), pattern(100000));
    EXPECT_EQ(hookCalls, 0);
}

// A server that stops sending is waited for no longer than the timeout,
// once the window has been shown.
TEST_F(PlainPair, SilentServerTimesOut)
{
    RecordingLink link(transferComplete());
    int hookCalls = 0;
    link.hook = [&] { ++hookCalls; };
    auto file = open(link, FileAccess::Read);
    takeServer();
    QElapsedTimer clock;
    clock.start();
    char block[255];
    EXPECT_EQ(file->read(block, sizeof block), -1);
    EXPECT_EQ(inet::lastError(), inet::ErrorTimeout);
    EXPECT_GE(clock.elapsed(), ShortTimeoutMs - 50);
    EXPECT_LT(clock.elapsed(), ShortTimeoutMs * 3);
    EXPECT_EQ(hookCalls, 1);
}

// An upload whose server is slow to read waits for it (showing the window
// first) and still delivers every byte in its place.
TEST_F(PlainPair, UploadGoesOutWholeToASlowReader)
{
    RecordingLink link(transferComplete());
    int hookCalls = 0;
    link.hook = [&] { ++hookCalls; };
    auto file = open(link, FileAccess::Write);
    const QByteArray data = pattern(24 << 20);
    const int descriptor = takeServer();
    QByteArray received;
    feeder = std::thread([&received, descriptor] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(descriptor, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            received.append(buffer, n);
        }
    });
    for (qsizetype at = 0; at < data.size(); at += 255)
        ASSERT_TRUE(file->write(data.constData() + at, qMin<qsizetype>(255, data.size() - at)))
            << inet::lastError() << " at " << at;
    EXPECT_TRUE(file->close()) << inet::lastError();
    feeder.join();
    EXPECT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);
    EXPECT_GE(hookCalls, 1) << "the kernel could not take it all at once";
}

// ---------------------------------------------------------------------------
// The public edge

// Inside the layer a failure is a value; the public operations make it the
// thread's last error. A success must not wipe out the text of an earlier
// failure that the caller has yet to show.
TEST(PublishedResult, OnlyAFailureChangesTheThreadsLastError)
{
    inet::setLastFailure(Failure{inet::ErrorExtendedError, Full});

    EXPECT_TRUE(inet::published(inet::Status()));
    EXPECT_EQ(inet::lastError(), inet::ErrorExtendedError);
    EXPECT_EQ(inet::lastResponseInfo(), Full);

    EXPECT_FALSE(inet::published(inet::Status(Failure{inet::ErrorTimeout})));
    EXPECT_EQ(inet::lastError(), inet::ErrorTimeout);
    EXPECT_EQ(inet::lastResponseInfo(), Full) << "a failure without a reply keeps the last one";

    const auto refused = inet::published(Result<int>(Failure{inet::ErrorExtendedError, QStringLiteral("550 No.\r\n")}));
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.failure().reply, QStringLiteral("550 No.\r\n"));
    EXPECT_EQ(inet::lastResponseInfo(), QStringLiteral("550 No.\r\n"));
}

// ---------------------------------------------------------------------------
// Names a search delivers

struct NameCase
{
    const char *name;
    const char *listed;
    const char *delivered; // nullptr: never delivered
};

void PrintTo(const NameCase &c, std::ostream *os)
{
    *os << c.name;
}

class SearchEntryTable : public ::testing::TestWithParam<NameCase>
{};

TEST_P(SearchEntryTable, KeepsTheNameAloneAndNeverTheDotEntries)
{
    const NameCase &c = GetParam();
    inet::RemoteEntry entry;
    entry.name = QString::fromUtf8(c.listed);
    entry.size = 7;
    const auto delivered = inet::searchEntry(entry);
    if (!c.delivered) {
        EXPECT_FALSE(delivered.has_value()) << delivered->name.toStdString();
        return;
    }
    ASSERT_TRUE(delivered.has_value());
    EXPECT_EQ(delivered->name, QString::fromUtf8(c.delivered));
    EXPECT_EQ(delivered->size, 7);
}

const NameCase NameCases[] = {
    {"PlainName", "a.txt", "a.txt"},
    {"PathFromServer", "/in/b.txt", "b.txt"},
    {"BlanksKept", "dir/ c d ", " c d "},
    {"Dot", ".", nullptr},
    {"DotDot", "..", nullptr},
    {"DotDotAtEndOfPath", "/in/..", nullptr},
    {"TrailingSlash", "dir/", nullptr},
    {"Empty", "", nullptr},
    {"DotsInName", "...", "..."},
    {"HiddenFile", "/in/.profile", ".profile"},
};

INSTANTIATE_TEST_SUITE_P(Names, SearchEntryTable, ::testing::ValuesIn(NameCases),
                         [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// What a 421 means, against a real server

struct HangUpCase
{
    const char *name;
    const char *command;
    inet::DataMode mode;
    bool atLogin;
};

void PrintTo(const HangUpCase &c, std::ostream *os)
{
    *os << c.name;
}

class FourTwentyOne : public ::testing::TestWithParam<HangUpCase>
{};

// While logging in, a 421 is the server turning us away, and its words say
// why ("too many users"). Once logged in, a 421 to any command, also to the
// ones that set up a data connection, is the server hanging up: the
// connection is dead and the failure says so.
TEST_P(FourTwentyOne, IsARefusalAtLoginAndAHangUpAfterwards)
{
    const HangUpCase &c = GetParam();
    FtpTestServer server;
    FtpTestServer::Options options;
    options.extraArgs = {QStringLiteral("--close-after"), QString::fromLatin1(c.command)};
    ASSERT_TRUE(server.start(options)) << server.errorString().toStdString();
    server.writeFile(QStringLiteral("f.bin"), "data");
    auto session = inet::Session::open(QStringLiteral("test"));
    ASSERT_NE(session, nullptr);
    session->setTimeoutMs(ShortTimeoutMs);
    inet::ConnectOptions connect;
    connect.mode = c.mode;

    auto opened = inet::FtpConnection::open(*session, server.address(), FtpTestServer::userName(),
                                            FtpTestServer::serverPassword(), connect);
    if (c.atLogin) {
        ASSERT_FALSE(opened);
        EXPECT_EQ(opened.failure().code, inet::ErrorExtendedError);
        EXPECT_EQ(opened.failure().reply, QStringLiteral("421 Closing (test).\r\n"));
        EXPECT_EQ(inet::lastResponseInfo(), opened.failure().reply);
        return;
    }
    ASSERT_TRUE(opened) << opened.failure().code;
    inet::FtpConnection &connection = **opened;
    EXPECT_EQ(connection.openFile(QStringLiteral("f.bin"), FileAccess::Read, inet::TransferType::Binary), nullptr);
    EXPECT_EQ(inet::lastError(), inet::ErrorConnectionAborted);
    EXPECT_FALSE(connection.isAlive());
    EXPECT_EQ(connection.deleteFile(QStringLiteral("f.bin")).failure().code, inet::ErrorConnectionAborted);
    EXPECT_TRUE(server.exists(QStringLiteral("f.bin")));
}

const HangUpCase HangUpCases[] = {
    {"User", "USER", inet::DataMode::Active, true},   {"Pass", "PASS", inet::DataMode::Active, true},
    {"Type", "TYPE", inet::DataMode::Active, false},  {"Port", "PORT", inet::DataMode::Active, false},
    {"Epsv", "EPSV", inet::DataMode::Passive, false}, {"Retr", "RETR", inet::DataMode::Passive, false},
};

INSTANTIATE_TEST_SUITE_P(Commands, FourTwentyOne, ::testing::ValuesIn(HangUpCases),
                         [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Connection options

struct UnusableTrust
{
    const char *name;
    inet::Security security;
    inet::TrustOptions trust;
    const char *detailStart;
};

const UnusableTrust UnusableTrustCases[] = {
    {"MissingCaFile",
     inet::Security::ExplicitTls,
     {QStringLiteral("/nonexistent/ca.pem"), {}},
     "no certificate could be read from the CA file /nonexistent/ca.pem (no such file)"},
    {"PinWithoutPrefix",
     inet::Security::ImplicitTls,
     {{}, QStringLiteral("oMZuoZ0bf0gihdrINSH1tfwLKIww/B7sd2QiE17+bNA=")},
     "the pinned key must read sha256//"},
    {"PinTooShort",
     inet::Security::ExplicitTls,
     {{}, QStringLiteral("sha256//oMZuoZ0bf0gihdrINSH1tfwL")},
     "the pinned key must read sha256//"},
};

class TrustSettings : public ::testing::TestWithParam<UnusableTrust>
{};

// A site whose trust settings cannot be used must get a failure that says
// why, never a connection that trusts whoever answers. Nothing may reach
// the server.
TEST_P(TrustSettings, ThatCannotBeUsedAreRefusedBeforeAnythingIsSent)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    auto session = inet::Session::open(QStringLiteral("test"));
    ASSERT_NE(session, nullptr);
    session->setTimeoutMs(ShortTimeoutMs);
    inet::ConnectOptions options;
    options.security = GetParam().security;
    options.trust = GetParam().trust;

    const auto opened = inet::FtpConnection::open(*session, QStringLiteral("127.0.0.1:%1").arg(listener.serverPort()),
                                                  QStringLiteral("quelmo"), QStringLiteral("zelkar"), options);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.failure().code, inet::ErrorInvalidParameter);
    EXPECT_EQ(inet::lastError(), inet::ErrorInvalidParameter);
    EXPECT_TRUE(inet::lastErrorDetail().startsWith(QString::fromUtf8(GetParam().detailStart)))
        << inet::lastErrorDetail().toStdString();
    EXPECT_FALSE(listener.waitForNewConnection(200)) << "a connection was attempted";
}

INSTANTIATE_TEST_SUITE_P(Cases, TrustSettings, ::testing::ValuesIn(UnusableTrustCases), ByRowName());

// ---------------------------------------------------------------------------
// The socket an active data connection is made to

struct ListenCase
{
    const char *name;
    const char *address;
    const char *listensAt; // nullptr: the address cannot be listened at
};

// clang-format off
const ListenCase ListenCases[] = {
    {"IPv4",       "127.0.0.1",        "127.0.0.1"},
    {"IPv6",       "::1",              "::1"},
    {"IPv4Mapped", "::ffff:127.0.0.1", "127.0.0.1"},
    {"NotOurs",    "192.0.2.1",        nullptr},
};
// clang-format on

void PrintTo(const ListenCase &c, std::ostream *os)
{
    *os << c.name;
}

class ListenOnFreePort : public ::testing::TestWithParam<ListenCase>
{};

// It listens where the PORT or EPRT command will say, on a port of its own
// that it shares with nobody, and the server's connection gets through to
// the QTcpServer that takes it over. Sharing (SO_REUSEADDR) would make
// every new port a long search once many data connections have closed.
TEST_P(ListenOnFreePort, ListensAloneAtTheAddressAsked)
{
    const ListenCase &c = GetParam();
    if (QString::fromUtf8(c.address) == QLatin1String("::1")) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHostIPv6))
            GTEST_SKIP() << "no IPv6 loopback here";
    }
    if (!c.listensAt) {
        QFile nonlocal(QStringLiteral("/proc/sys/net/ipv4/ip_nonlocal_bind"));
        if (nonlocal.open(QIODevice::ReadOnly) && nonlocal.readAll().trimmed() == "1")
            GTEST_SKIP() << "this machine lets any address be listened at";
    }
    const qintptr descriptor = inet::listenOnFreePort(QHostAddress(QString::fromUtf8(c.address)), 5);
    if (!c.listensAt) {
        EXPECT_EQ(descriptor, -1);
        EXPECT_EQ(errno, EADDRNOTAVAIL);
        return;
    }
    ASSERT_GE(descriptor, 0) << std::strerror(errno);
    int shared = -1;
    socklen_t length = sizeof shared;
    ASSERT_EQ(::getsockopt(int(descriptor), SOL_SOCKET, SO_REUSEADDR, &shared, &length), 0);
    EXPECT_EQ(shared, 0);

    QTcpServer server;
    ASSERT_TRUE(server.setSocketDescriptor(descriptor));
    EXPECT_TRUE(server.isListening());
    EXPECT_EQ(server.serverAddress(), QHostAddress(QString::fromUtf8(c.listensAt)));
    ASSERT_NE(server.serverPort(), 0);

    QTcpSocket client;
    client.connectToHost(server.serverAddress(), server.serverPort());
    ASSERT_TRUE(client.waitForConnected(ShortTimeoutMs)) << client.errorString().toStdString();
    ASSERT_TRUE(server.waitForNewConnection(ShortTimeoutMs));
    std::unique_ptr<QTcpSocket> accepted(server.nextPendingConnection());
    ASSERT_NE(accepted, nullptr);
    EXPECT_EQ(accepted->peerPort(), client.localPort());
}

INSTANTIATE_TEST_SUITE_P(Addresses, ListenOnFreePort, ::testing::ValuesIn(ListenCases), ByRowName());

// ---------------------------------------------------------------------------
// A glance before a wait that cannot be cut in two

struct GlanceCase
{
    const char *name;
    short events;
    bool peerWrites;
    int deadlineMs;
    bool hooked;
};

// clang-format off
const GlanceCase GlanceCases[] = {
    {"WritableAtOnce",        POLLOUT, false, 1000, false},
    {"NothingToReadYet",      POLLIN,  false, 1000, true},
    {"AnswerAlreadyThere",    POLLIN,  true,  1000, false},
    {"NoTimeLeft",            POLLIN,  false, 0,    false},
};
// clang-format on

void PrintTo(const GlanceCase &c, std::ostream *os)
{
    *os << c.name;
}

class GlanceBefore : public ::testing::TestWithParam<GlanceCase>
{};

// The hook (the window shown) comes only when the wait is about to last:
// not when the socket is ready at once, and not when no time is left to
// wait in anyway.
TEST_P(GlanceBefore, CallsTheHookOnlyForAWaitThatLasts)
{
    const GlanceCase &c = GetParam();
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    if (c.peerWrites) {
        ASSERT_EQ(::write(pair[1], "x", 1), 1);
    }
    int hooked = 0;
    const QDeadlineTimer deadline(c.deadlineMs);
    inet::glanceBefore(pair[0], c.events, deadline, [&] { ++hooked; });
    EXPECT_EQ(hooked, c.hooked ? 1 : 0);
    inet::glanceBefore(pair[0], c.events, deadline, {}); // no hook: nothing to call
    ::close(pair[0]);
    ::close(pair[1]);
}

INSTANTIATE_TEST_SUITE_P(Sockets, GlanceBefore, ::testing::ValuesIn(GlanceCases), ByRowName());

} // namespace
