#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "platform/exitcode.h"
#include "platform/inet/errors.h"
#include "support/jobfixture.h"
#include "support/paramnames.h"
#include "support/qtprint.h"

namespace {

using A = FrmUpdateTestAccess;

const QString Uploading = QStringLiteral("Status: prenos na strežnik...");
const QString Downloading = QStringLiteral("Status: prenos iz strežnika...");
const QString Done = QStringLiteral("Status: Prenos je končan.");
const QString Refused = QStringLiteral("550 Refused by test.\r\n");

using UploadTest = JobTest;

TEST_F(UploadTest, FirstAttemptSucceeds)
{
    startServer();
    writeSettings();
    load();
    writeLocal(QStringLiteral("a.txt"), "alpha");
    ASSERT_TRUE(connectFtp());

    EXPECT_EQ(run([&] { form->upload(fileNamed(QStringLiteral("a.txt"))); }), std::nullopt);
    EXPECT_EQ(server.readFile(QStringLiteral("a.txt")), QByteArray("alpha"));
    EXPECT_EQ(statuses, (QStringList{Uploading, Done}));
    EXPECT_EQ(logLines(), QStringList{stamp() + QLatin1Char(' ') + localFile(QStringLiteral("a.txt"))
                                      + QStringLiteral("----->/a.txt")});
    EXPECT_EQ(desktop.sleeps, (QList<int>{100, 1000})) << "the pause before the first attempt, the upload's settling";
    EXPECT_TRUE(QFile::exists(localFile(QStringLiteral("a.txt")))) << "kept without DEL";
    EXPECT_EQ(form->Label11->text(), QStringLiteral("INTERNET CLOSE"));
}

TEST_F(UploadTest, TwoFailuresThenSuccessReconnectsTwice)
{
    startServer({QStringLiteral("--refuse-stor"), QStringLiteral("2")});
    writeSettings();
    load();
    writeLocal(QStringLiteral("a.txt"), "alpha");
    ASSERT_TRUE(connectFtp());
    form->Chkbrisi->setChecked(true);

    EXPECT_EQ(run([&] { form->upload(fileNamed(QStringLiteral("a.txt"))); }), std::nullopt);
    EXPECT_EQ(statuses, (QStringList{Uploading, Refused, Uploading, Refused, Uploading, Done}));
    EXPECT_EQ(desktop.sleeps, (QList<int>{100, 1000, 1000, 1000, 1000, 1000}));
    EXPECT_EQ(logLines().size(), 1);
    EXPECT_FALSE(logLines().value(0).startsWith(QStringLiteral("NAPAKA")));
    EXPECT_FALSE(QFile::exists(localFile(QStringLiteral("a.txt")))) << "DEL after the success";
    EXPECT_EQ(server.readFile(QStringLiteral("a.txt")), QByteArray("alpha"));
}

TEST_F(UploadTest, ThreeFailuresEndTheJobAndKeepTheSource)
{
    startServer({QStringLiteral("--refuse-stor"), QStringLiteral("3")});
    writeSettings();
    load();
    writeLocal(QStringLiteral("a.txt"), "alpha");
    ASSERT_TRUE(connectFtp());
    form->Chkbrisi->setChecked(true);

    EXPECT_EQ(run([&] { form->upload(fileNamed(QStringLiteral("a.txt"))); }), ExitCode::FileFailed);
    EXPECT_EQ(form->Label3->text(), QStringLiteral("Status napaka:") + Refused);
    EXPECT_EQ(logLines(),
              (QStringList{QStringLiteral("NAPAKA") + stamp() + QLatin1Char(' ') + localFile(QStringLiteral("a.txt"))
                               + QStringLiteral("----->/a.txt ") + Refused.chopped(2),
                           QString()}))
        << "the server's reply keeps its line break, so the entry ends with an empty line";
    EXPECT_EQ(desktop.sleeps.last(), 5000);
    EXPECT_TRUE(QFile::exists(localFile(QStringLiteral("a.txt"))));
}

using DownloadTest = JobTest;

TEST_F(DownloadTest, DeletesTheRemoteSourceOnlyAfterSuccess)
{
    startServer();
    writeSettings();
    load();
    server.writeFile(QStringLiteral("b.bin"), QByteArray(1000, 'b'));
    ASSERT_TRUE(connectFtp());
    form->Chkbrisi->setChecked(true);

    EXPECT_EQ(run([&] { form->download(fileNamed(QStringLiteral("b.bin"))); }), std::nullopt);
    EXPECT_EQ(statuses, (QStringList{Downloading, Done}));
    EXPECT_FALSE(server.exists(QStringLiteral("b.bin")));
    QFile local(localFile(QStringLiteral("b.bin")));
    ASSERT_TRUE(local.open(QIODevice::ReadOnly));
    EXPECT_EQ(local.readAll(), QByteArray(1000, 'b'));
    EXPECT_EQ(logLines(), QStringList{stamp() + QStringLiteral(" /b.bin----->") + localFile(QStringLiteral("b.bin"))});
}

TEST_F(DownloadTest, MissingFileFailsThreeTimesWithItsOwnText)
{
    startServer();
    writeSettings();
    load();
    ASSERT_TRUE(connectFtp());

    EXPECT_EQ(run([&] { form->download(fileNamed(QStringLiteral("gone.bin"))); }), ExitCode::FileFailed);
    const QString text = form->ftp()->GetLastErrorMessage();
    EXPECT_TRUE(text.contains(QStringLiteral("/gone.bin"))) << text.toStdString();
    EXPECT_EQ(form->Label3->text(), QStringLiteral("Status napaka: ") + text);
    ASSERT_EQ(logLines().size(), 2) << "the error text ends with its own line break";
    EXPECT_TRUE(logLines().at(0).startsWith(QStringLiteral("NAPAKA") + stamp() + QStringLiteral(" /gone.bin----->")));
    EXPECT_FALSE(QFile::exists(localFile(QStringLiteral("gone.bin"))));
}

// ---- the way of one file, either direction ---------------------------------

// What the window lets happen while one file moves: "p" a pump of window
// events (p3: three in a row), "s" a pause. The pump before the first pause
// is the download's alone; the rest follows the transfer's own points and
// the progress display's.
struct FileWay
{
    const char *name;
    bool upload;
    QStringList faults;
    const char *trace;
};

void PrintTo(const FileWay &c, std::ostream *os)
{
    *os << c.name;
}

class OneFile : public JobTest, public ::testing::WithParamInterface<FileWay>
{};

TEST_P(OneFile, PumpsAndPausesInTheirPlaces)
{
    const FileWay &c = GetParam();
    startServer(c.faults);
    writeSettings();
    load();
    writeLocal(QStringLiteral("up.txt"), "upload");
    server.writeFile(QStringLiteral("down.txt"), "download");
    ASSERT_TRUE(form->ftp()->OpenConnection(server.address(), QStringLiteral("quelmo"), QStringLiteral("zelkar")));
    const FrmUpdate::FileToMove file = fileNamed(c.upload ? QStringLiteral("up.txt") : QStringLiteral("down.txt"));

    QStringList trace;
    int pumps = 0;
    auto flushPumps = [&] {
        if (pumps > 0)
            trace.append(pumps == 1 ? QStringLiteral("p") : QStringLiteral("p%1").arg(pumps));
        pumps = 0;
    };
    desktop.onPump = [&] { ++pumps; };
    desktop.onSleep = [&](int ms) {
        flushPumps();
        trace.append(QStringLiteral("s%1").arg(ms));
    };
    EXPECT_EQ(run([&] { c.upload ? form->upload(file) : form->download(file); }), std::nullopt);
    flushPumps();
    EXPECT_EQ(trace.join(QLatin1Char(' ')).toStdString(), c.trace);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Ways, OneFile,
    ::testing::Values(
        FileWay{"Upload", true, {}, "s100 p6 s1000 p5"},
        FileWay{"Download", false, {}, "p s100 p19"},
        FileWay{"UploadRefusedOnce", true, {"--refuse-stor", "1"}, "s100 p s1000 p s1000 p7 s1000 p5"}),
    [](const ::testing::TestParamInfo<FileWay> &info) { return std::string(info.param.name); });
// clang-format on

// ---- the transfer command ---------------------------------------------------

struct CommandCase
{
    const char *name;
    const char *command;
    const char *pattern;  // Text1 afterwards
    bool deleteOption;    // Chkbrisi
    const char *uploaded; // files on the server's root afterwards, sorted
    const char *localLeft;
    std::optional<int> ended;
};

class TransferCommand : public JobTest, public ::testing::WithParamInterface<CommandCase>
{};

TEST_P(TransferCommand, Table)
{
    const CommandCase &c = GetParam();
    startServer();
    writeSettings();
    load();
    for (const char *name : {"a.zip", "b.zip", "data.txt", ".hidden.zip"})
        writeLocal(QString::fromUtf8(name), name);
    QDir(localDir()).mkdir(QStringLiteral("folder.zip"));
    server.writeFile(QStringLiteral("r1.zip"), "r1");
    server.writeFile(QStringLiteral("r2.zip"), "r2");
    server.mkdir(QStringLiteral("dir.zip"));
    ASSERT_TRUE(connectFtp());

    QString command = QString::fromUtf8(c.command);
    EXPECT_EQ(run([&] { form->ftpprenos(command); }), c.ended);
    EXPECT_EQ(form->Text1->text().toStdString(), c.pattern);
    EXPECT_EQ(form->Chkbrisi->isChecked(), c.deleteOption);

    QStringList remote = QDir(server.root()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(remote.join(QLatin1Char(' ')).toStdString(), c.uploaded);
    QStringList local = QDir(localDir()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    EXPECT_EQ(local.join(QLatin1Char(' ')).toStdString(), c.localLeft);
    if (!c.ended) {
        EXPECT_EQ(form->Tdir->toPlainText(), QString()) << "the list is used up";
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Commands, TransferCommand,
    ::testing::Values(
        CommandCase{"upload", "*.zip", "*.zip", false, "a.zip b.zip r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt", std::nullopt},
        CommandCase{"download", "*.zip,DOWN", "*.zip", false, "r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt r1.zip r2.zip", std::nullopt},
        CommandCase{"download_delete", "*.zip,down,del", "*.zip", true, "",
                    ".hidden.zip a.zip b.zip data.txt r1.zip r2.zip", std::nullopt},
        CommandCase{"upload_delete", "data.txt,,DEL", "data.txt", true, "data.txt r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip", std::nullopt},
        CommandCase{"up_is_upload", "*.zip,UP", "*.zip", false, "a.zip b.zip r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt", std::nullopt},
        CommandCase{"semicolon_ends", "*.zip;DOWN,DEL", "*.zip", false, "a.zip b.zip r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt", std::nullopt},
        CommandCase{"option_whole", "*.zip,DOWN,DEL,x", "*.zip", false, "r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt r1.zip r2.zip", std::nullopt},
        CommandCase{"direction_with_blank_not_run", "a.zip,DOWN ,DEL", "a.zip", true, "r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt", std::nullopt},
        CommandCase{"direction_with_blank_uploads", "a.zip,DOWN ", "a.zip", false, "a.zip r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt", std::nullopt},
        CommandCase{"option_with_blank", "*.zip,DOWN,DEL ", "*.zip", false, "r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt r1.zip r2.zip", std::nullopt},
        CommandCase{"nothing_matches", "*.rar,DOWN", "*.rar", false, "r1.zip r2.zip",
                    ".hidden.zip a.zip b.zip data.txt", std::nullopt}),
    ByRowName());
// clang-format on

TEST_F(JobTest, NamesWithACommaMoveWhole)
{
    startServer();
    writeSettings();
    load();
    writeLocal(QStringLiteral("x,y.txt"), "xy");
    ASSERT_TRUE(connectFtp());
    QString command = QStringLiteral("x*");
    EXPECT_EQ(run([&] { form->ftpprenos(command); }), std::nullopt);
    EXPECT_EQ(form->Textimedat->text(), QStringLiteral("x,y.txt"));
    EXPECT_EQ(server.readFile(QStringLiteral("x,y.txt")), QByteArray("xy"));
    EXPECT_FALSE(server.exists(QStringLiteral("x")));
}

// A pattern's folder part is kept on the side where the files are listed;
// on the other side they arrive under their bare names.
TEST_F(JobTest, PatternWithAFolderTakesTheFilesFromThatFolder)
{
    startServer();
    writeSettings();
    load();
    QDir(localDir()).mkdir(QStringLiteral("sub"));
    writeLocal(QStringLiteral("sub/s.txt"), "from sub");
    writeLocal(QStringLiteral("s.txt"), "top");
    server.writeFile(QStringLiteral("in/d.zip"), "from in");
    server.writeFile(QStringLiteral("d.zip"), "top");
    ASSERT_TRUE(connectFtp());

    QString up = QStringLiteral("sub/*.txt");
    EXPECT_EQ(run([&] { form->ftpprenos(up); }), std::nullopt);
    EXPECT_EQ(server.readFile(QStringLiteral("s.txt")), QByteArray("from sub"));
    EXPECT_FALSE(server.exists(QStringLiteral("sub/s.txt")));

    QString down = QStringLiteral("in/*.zip,DOWN,DEL");
    EXPECT_EQ(run([&] { form->ftpprenos(down); }), std::nullopt);
    QFile local(localFile(QStringLiteral("d.zip")));
    ASSERT_TRUE(local.open(QIODevice::ReadOnly));
    EXPECT_EQ(local.readAll(), QByteArray("from in"));
    EXPECT_FALSE(server.exists(QStringLiteral("in/d.zip"))) << "the file that was fetched is the one deleted";
    EXPECT_EQ(server.readFile(QStringLiteral("d.zip")), QByteArray("top"));
    EXPECT_EQ(logLines(),
              (QStringList{stamp() + QLatin1Char(' ') + localFile(QStringLiteral("sub/s.txt"))
                               + QStringLiteral("----->/s.txt"),
                           stamp() + QStringLiteral(" /in/d.zip----->") + localFile(QStringLiteral("d.zip"))}));
}

// ---- the job run and the first activation -----------------------------------

TEST_F(JobTest, ListedCommandsRunInNumberOrderAfterTheCommandLine)
{
    startServer();
    writeSettings(QStringLiteral("prenos0=zero*,,DEL\nprenos3=three*\nprenos03=lead*\nprenos7= seven*\n"
                                 "prenos21=late*\nprenos5=\"\t*\"\nrun2=second\nrun1=first\nrun21=never\n"));
    load();
    for (const char *name : {"zero.txt", "three.txt", "lead.txt", "seven.txt", "late.txt", "cmd.txt"})
        writeLocal(QString::fromUtf8(name), name);
    desktop.arguments = QStringLiteral("  cmd.txt  ");
    QStringList order;
    desktop.onSleep = [&](int ms) {
        if (ms == 100)
            order.append(form->Textimedat->text());
    };

    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::Done);
    EXPECT_EQ(order,
              (QStringList{QStringLiteral("cmd.txt"), QStringLiteral("three.txt"), QStringLiteral("seven.txt")}));
    EXPECT_EQ(desktop.started, (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
    EXPECT_EQ(desktop.sleeps.last(), 5000);
    EXPECT_FALSE(form->ftp()->isConnected());
    EXPECT_TRUE(desktop.prompts.isEmpty());
}

TEST_F(JobTest, UnreachableServerStillStartsTheProgramsAndSaysWhy)
{
    startServer();
    writeSettings(QStringLiteral("prenos1=*.txt\nrun1=after\n"));
    server.stop();
    load();
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::NotConnected);
    EXPECT_EQ(desktop.started, QStringList{QStringLiteral("after")});
    EXPECT_TRUE(form->Label3->text().startsWith(QStringLiteral("InternetConnect error code: 12029")))
        << form->Label3->text().toStdString();
    EXPECT_EQ(desktop.sleeps, QList<int>{5000});
}

TEST_F(JobTest, ProgramThatCannotStartEndsTheRunList)
{
    startServer();
    writeSettings(QStringLiteral("run1=first\nrun2=broken\nrun3=third\n"));
    load();
    desktop.failingPrograms = QStringList{QStringLiteral("broken")};
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::ProgramNotStarted);
    EXPECT_EQ(desktop.started, QStringList{QStringLiteral("first")});
    EXPECT_TRUE(form->Label3->text().contains(QStringLiteral("broken")));
}

TEST_F(JobTest, FinalFailureSkipsEverythingAfterIt)
{
    startServer({QStringLiteral("--refuse-stor"), QStringLiteral("3")});
    writeSettings(QStringLiteral("prenos1=a.txt\nprenos2=b.txt\nrun1=after\n"));
    load();
    writeLocal(QStringLiteral("a.txt"), "a");
    writeLocal(QStringLiteral("b.txt"), "b");
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::FileFailed);
    EXPECT_TRUE(desktop.started.isEmpty());
    EXPECT_EQ(form->Textimedat->text(), QStringLiteral("a.txt"));
    EXPECT_EQ(logLines().size(), 2);
}

TEST_F(JobTest, SiteSwitchTakesTheSectionAsItStands)
{
    startServer();
    writeSettings(QString(), QStringLiteral("[drugi]\nFTPURL=%1\nftpdir=/in/\nuporabnik=quelmo\ngeslo=zelkar\n"
                                            "localdir=%2/\n[nourl]\nftpdir=/x/\n")
                                 .arg(server.address(), localDir()));
    server.mkdir(QStringLiteral("in"));
    load();
    writeLocal(QStringLiteral("s.txt"), "s");

    desktop.arguments = QStringLiteral("drugi,s.txt");
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::Done);
    EXPECT_EQ(A::section(*form), QStringLiteral("drugi"));
    EXPECT_EQ(form->textDIR->text(), QStringLiteral("/in/"));
    EXPECT_EQ(server.readFile(QStringLiteral("in/s.txt")), QByteArray("s"));
}

TEST_F(JobTest, FirstTokenWithoutServerIsPartOfTheCommand)
{
    startServer();
    writeSettings(QString(), QStringLiteral("[nourl]\nftpdir=/x/\n"));
    load();
    writeLocal(QStringLiteral("nourl"), "n");
    desktop.arguments = QStringLiteral("nourl");
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::Done);
    EXPECT_EQ(A::section(*form), QStringLiteral("site"));
    EXPECT_EQ(server.readFile(QStringLiteral("nourl")), QByteArray("n"));
}

TEST_F(JobTest, EmptyCommandLinePromptsAndSecondActivationDoesNothing)
{
    startServer();
    writeSettings();
    load();
    desktop.promptAnswer = QString();
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::Done);
    EXPECT_EQ(desktop.prompts, QStringList{QStringLiteral("Prenos|Ime datoteke za prenos:")});
    EXPECT_EQ(run([&] { form->Form_Activate(); }), std::nullopt);
    EXPECT_EQ(desktop.prompts.size(), 1);
}

TEST_F(JobTest, UnwritableLogIsReportedAndTheJobGoesOn)
{
    startServer();
    writeSettings(QStringLiteral("prenos1=a.txt\n"));
    load();
    writeLocal(QStringLiteral("a.txt"), "a");
    // A folder where the log should be: no file can be opened there.
    QDir(workDir.path()).mkdir(QStringLiteral("VANTREL.log"));
    QString logStatus;
    desktop.onSleep = [&](int ms) {
        if (ms == 5000)
            logStatus = form->Label3->text();
    };
    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::WorkedAround);
    EXPECT_TRUE(logStatus.contains(QStringLiteral("VANTREL.log"))) << logStatus.toStdString();
    EXPECT_EQ(server.readFile(QStringLiteral("a.txt")), QByteArray("a"));
}

} // namespace
