// Whole jobs against a real server, in one process: every file arrives
// under its own name or not at all, a name that cannot move as itself is
// skipped without stopping the job, and nothing the job leaves behind (a
// temporary file, a log line) can be taken for something it is not.

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>

#include "platform/exitcode.h"
#include "support/jobfixture.h"
#include "support/paramnames.h"
#include "support/qtprint.h"

namespace {

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// ---------------------------------------------------------------------------
// Names that a list string, a text box or a pattern would bend

struct HostileName
{
    const char *name;
    QString hostile;
    // What the name used to turn into on its way, or a file a pattern
    // lookup would have mistaken for it: it must be left alone.
    QString decoy;
};

void PrintTo(const HostileName &c, std::ostream *os)
{
    *os << c.name;
}

class HostileNames : public JobTest, public ::testing::WithParamInterface<std::tuple<bool, HostileName>>
{};

TEST_P(HostileNames, MoveAsThemselvesAndTheirLookalikesToo)
{
    const auto &[downloading, c] = GetParam();
    startServer();
    writeSettings();
    load();
    const QByteArray hostileBytes = "the file named " + c.hostile.toUtf8();
    const QByteArray decoyBytes = "a lookalike, and longer than the other file of this test";
    if (downloading) {
        server.writeFile(c.hostile, hostileBytes);
        server.writeFile(c.decoy, decoyBytes);
    } else {
        writeLocal(c.hostile, hostileBytes);
        writeLocal(c.decoy, decoyBytes);
    }
    ASSERT_TRUE(connectFtp());

    QString command = downloading ? QStringLiteral("*,DOWN,DEL") : QStringLiteral("*,,DEL");
    EXPECT_EQ(run([&] { form->ftpprenos(command); }), std::nullopt);
    EXPECT_EQ(desktop.diagnostics, QStringList());
    const QString arrived = downloading ? localDir() : server.root();
    auto read = [&](const QString &name) {
        QFile file(QDir(arrived).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    };
    EXPECT_EQ(read(c.hostile), hostileBytes);
    EXPECT_EQ(read(c.decoy), decoyBytes);
    EXPECT_EQ(filesIn(downloading ? server.root() : localDir()), QStringList()) << "each source deleted, no other";
    // A control character in a path is written escaped: one line, one entry.
    QStringList expectedLog;
    for (const QString &name : {c.hostile, c.decoy}) {
        const QString logged = QString(name).replace(QLatin1Char('\t'), QStringLiteral("\\t"));
        const QString from = downloading ? QLatin1Char('/') + logged : localFile(logged);
        const QString to = downloading ? localFile(logged) : QLatin1Char('/') + logged;
        expectedLog << stamp() + QLatin1Char(' ') + from + QStringLiteral("----->") + to;
    }
    QStringList log = logLines();
    log.sort();
    expectedLog.sort();
    EXPECT_EQ(log, expectedLog);
}

// clang-format off
const HostileName HostileNameCases[] = {
    {"NoBreakSpace", QStringLiteral("a\u00a0b.bin"), QStringLiteral("a b.bin")},
    {"Comma", QStringLiteral("x,y.bin"), QStringLiteral("x")},
    {"Semicolon", QStringLiteral("x;y.bin"), QStringLiteral("x")},
    {"SingleQuote", QStringLiteral("it's.bin"), QStringLiteral("its.bin")},
    {"DoubleQuote", QStringLiteral("say \"hi\".bin"), QStringLiteral("say hi.bin")},
    {"LeadingBlank", QStringLiteral(" lead.bin"), QStringLiteral("lead.bin")},
    {"TrailingBlank", QStringLiteral("trail.bin "), QStringLiteral("trail.bin")},
    {"Star", QStringLiteral("a*b.bin"), QStringLiteral("axxb.bin")},
    {"QuestionMark", QStringLiteral("a?b.bin"), QStringLiteral("axb.bin")},
    {"Tab", QStringLiteral("tab\there.bin"), QStringLiteral("tab here.bin")},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Names, HostileNames,
                         ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(HostileNameCases)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param) ? "Download_" : "Upload_")
                                    + std::get<1>(info.param).name;
                         });

// ---------------------------------------------------------------------------
// Names a listing may hold that cannot move as themselves

// The server lists names no file system here could hold: a CR inside a
// name, one of 5,000 bytes, bytes that are not UTF-8, and "..". Each is
// skipped with a line that says why, and the file after them still comes.
TEST_F(JobTest, UnmovableListedNamesAreSkippedAndTheJobGoesOn)
{
    const QByteArray longName(5000, 'n');
    startServer({QStringLiteral("--extra-entry"), QString::fromLatin1(QByteArray("a\rb.bin").toHex()),
                 QStringLiteral("--extra-entry"), QString::fromLatin1(longName.toHex()),
                 QStringLiteral("--extra-entry"), QString::fromLatin1(QByteArray("bad\xff.bin").toHex()),
                 QStringLiteral("--extra-entry"), QString::fromLatin1(QByteArray("..").toHex())});
    writeSettings(QStringLiteral("prenos1=*,DOWN,DEL\n"));
    load();
    server.writeFile(QStringLiteral("ok.bin"), "ok");

    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::WorkedAround);
    EXPECT_EQ(filesIn(localDir()), QStringList{QStringLiteral("ok.bin")});
    EXPECT_FALSE(server.exists(QStringLiteral("ok.bin")));
    const QString prefix = QStringLiteral("quelmo: error: [site] %1: ").arg(server.address());
    const QString bad = QStringLiteral("bad\ufffd.bin");
    EXPECT_EQ(desktop.diagnostics,
              (QStringList{
                  prefix
                      + QStringLiteral("/a b.bin -> %1: skipped: the name holds a line break or a NUL, which "
                                       "cannot be sent to the server")
                            .arg(localFile(QStringLiteral("a b.bin"))),
                  prefix
                      + QStringLiteral("/%1 -> %2: skipped: the name is too long for the local file system")
                            .arg(QString::fromLatin1(longName), localFile(QString::fromLatin1(longName))),
                  prefix
                      + QStringLiteral("/%1 -> %2: skipped: the name is not valid UTF-8, so it cannot be named "
                                       "again as it is")
                            .arg(bad, localFile(bad)),
              }));
    EXPECT_EQ(logLines().size(), 1) << "a skipped name is no finished file";
}

TEST_F(JobTest, SkippedNameIsShownInTheStatusLine)
{
    startServer();
    writeSettings();
    load();
    writeLocal(QStringLiteral("a\nb.txt"), "ab");
    ASSERT_TRUE(connectFtp());
    QString command = QStringLiteral("*.txt");
    EXPECT_EQ(run([&] { form->ftpprenos(command); }), std::nullopt);
    EXPECT_EQ(form->Label3->text(),
              QStringLiteral("Napaka: datoteka a\nb.txt je izpuščena: ime vsebuje prelom vrstice ali znak NUL"));
    EXPECT_EQ(filesIn(server.root()), QStringList());
}

// A listing that fails is no empty folder: the window says so too.
TEST_F(JobTest, FailedListingIsShownInTheStatusLine)
{
    startServer({QStringLiteral("--answer"), QStringLiteral("MLSD=450 Listing refused (test).")});
    writeSettings();
    load();
    ASSERT_TRUE(connectFtp());
    QString command = QStringLiteral("*.bin,DOWN");
    EXPECT_EQ(run([&] { form->ftpprenos(command); }), std::nullopt);
    EXPECT_EQ(form->Label3->text(),
              QStringLiteral("Napaka: seznama datotek /*.bin ni mogoče dobiti: 450 Listing refused (test).\r\n"));
}

// ---------------------------------------------------------------------------
// Sources that must not be deleted

// A producer still appends to the file: no attempt can be a success, the
// job ends with the file failed, and the file stays whole.
TEST_F(JobTest, GrowingUploadSourceIsNeverDeleted)
{
    startServer();
    writeSettings(QStringLiteral("prenos1=grow.log,,DEL\n"));
    load();
    writeLocal(QStringLiteral("grow.log"), QByteArray(2000, 'g'));
    qsizetype appended = 0;
    QObject::connect(form->ftp(), &cFTP::FileTransferProgress, [&](qint64 current, qint64) {
        if (current != 255)
            return;
        QFile producer(localFile(QStringLiteral("grow.log")));
        ASSERT_TRUE(producer.open(QIODevice::Append));
        appended += producer.write(QByteArray(100, 'x'));
    });

    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::FileFailed);
    QFile source(localFile(QStringLiteral("grow.log")));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(source.readAll(), QByteArray(2000, 'g') + QByteArray(appended, 'x'));
    EXPECT_EQ(appended, 300) << "three attempts";
    EXPECT_FALSE(server.exists(QStringLiteral("grow.log")));
    ASSERT_EQ(desktop.diagnostics.size(), 1);
    EXPECT_TRUE(desktop.diagnostics.first().endsWith(QStringLiteral("changed while it was sent: its size went from "
                                                                    "2200 to 2300 bytes")))
        << desktop.diagnostics.first().toStdString();
}

// ---------------------------------------------------------------------------
// The log

// A server's reply of several lines keeps them, but no line of it can read
// as an entry of its own: each one after the first starts with a blank.
TEST_F(JobTest, MultiLineReplyCannotForgeALogEntry)
{
    startServer(
        {QStringLiteral("--answer"), QStringLiteral("STOR=550-Refused:\r\n07.12.26 09:41:05 /x----->/y\r\n550 End.")});
    writeSettings(QStringLiteral("prenos1=a.txt\n"));
    load();
    writeLocal(QStringLiteral("a.txt"), "a");

    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::FileFailed);
    EXPECT_EQ(logLines(),
              (QStringList{QStringLiteral("NAPAKA") + stamp() + QLatin1Char(' ') + localFile(QStringLiteral("a.txt"))
                               + QStringLiteral("----->/a.txt 550-Refused:"),
                           QStringLiteral(" 07.12.26 09:41:05 /x----->/y"), QStringLiteral(" 550 End."), QString()}));
}

// ---------------------------------------------------------------------------
// Ending in the middle of a download

// "Zapri" ends the program at once; the temporary file is gone by then, and
// the older copy is as it was.
TEST_F(JobTest, ZapriDuringADownloadLeavesNoPartialFile)
{
    startServer();
    writeSettings(QStringLiteral("prenos1=big.bin,DOWN\n"));
    load();
    server.writeFile(QStringLiteral("big.bin"), QByteArray(200000, 'n'));
    writeLocal(QStringLiteral("big.bin"), "older copy");
    bool clicked = false;
    QObject::connect(form->ftp(), &cFTP::FileTransferProgress, [&](qint64 current, qint64) {
        if (current < 100000 || clicked)
            return;
        ASSERT_TRUE(QFile::exists(localFile(QStringLiteral(".big.bin.part"))));
        clicked = true;
        form->Command3->click();
    });
    QStringList atTheEnd;
    desktop.onExit = [&](int) { atTheEnd = filesIn(localDir()); };

    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::Closed);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(atTheEnd, QStringList{QStringLiteral("big.bin")}) << "removed before the program ends";
    QFile older(localFile(QStringLiteral("big.bin")));
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_EQ(older.readAll(), QByteArray("older copy"));
}

} // namespace
