// The real program, run as a scheduler would run it: copied into a program
// folder of its own with its settings beside it, started from another
// working directory, with no display.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <utility>

#include "platform/exitcode.h"
#include "support/jsonlines.h"
#include "support/ftpserver.h"
#include "support/qtprint.h"
#include "support/tlsfiles.h"

namespace {

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid() && workDir.isValid());
        program = programDir.filePath(QStringLiteral("quelmo"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(QUELMO_BINARY), program));
        QDir(programDir.path()).mkpath(QStringLiteral("local"));
    }

    void startServer(const QStringList &faults = {})
    {
        ASSERT_TRUE(server.start({.extraArgs = faults})) << server.errorString().toStdString();
    }

    void writeSettings(const QString &text)
    {
        QFile ini(programDir.filePath(QStringLiteral("quelmo.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(text.toUtf8());
    }

    QString site(const QString &server, const QString &remoteDir, const QString &lines) const
    {
        return QStringLiteral("[PROGRAM]\r\nIZBRANO=site\r\n[site]\r\nFTPURL=%1\r\nftpdir=%2\r\nlocaldir=%3/\r\n%4\r\n")
            .arg(server, remoteDir, localDir(), lines);
    }

    // Starts the program and leaves it running. The environment is that of
    // a scheduler: no display, no session (so no XDG_RUNTIME_DIR either,
    // which Qt likes to complain about), unless the test sets one.
    std::unique_ptr<QProcess> startProgram(const QStringList &arguments,
                                           const QList<std::pair<const char *, QString>> &extra = {})
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // No display: the program must find its way to the offscreen
        // platform by itself.
        for (const char *name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "QT_LOGGING_RULES"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        for (const auto &[name, value] : extra)
            environment.insert(QString::fromLatin1(name), value);
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(workDir.path());
        process->setStandardInputFile(QProcess::nullDevice());
        process->start(program, arguments);
        return process;
    }

    // Runs the program to its end; its exit code.
    int runProgram(const QStringList &arguments, const QList<std::pair<const char *, const char *>> &extra = {})
    {
        QList<std::pair<const char *, QString>> variables;
        for (const auto &[name, value] : extra)
            variables.append({name, QString::fromLatin1(value)});
        QElapsedTimer clock;
        clock.start();
        const std::unique_ptr<QProcess> process = startProgram(arguments, variables);
        EXPECT_TRUE(process->waitForFinished(90000)) << "the program did not end by itself";
        elapsedMs = clock.elapsed();
        errors = QString::fromUtf8(process->readAllStandardError());
        output = QString::fromUtf8(process->readAllStandardOutput());
        return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    }

    // Waits up to ms for the condition; whether it came true.
    template<typename Condition>
    static bool waitFor(Condition condition, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (!condition()) {
            if (clock.elapsed() > ms)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    // The local folder's files, the hidden ones too.
    QStringList localFiles() const { return QDir(localDir()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QString localDir() const { return programDir.filePath(QStringLiteral("local")); }
    QString localFile(const QString &name) const { return localDir() + QLatin1Char('/') + name; }

    void writeLocal(const QString &name, const QByteArray &data)
    {
        QFile file(localFile(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }

    QByteArray readLocal(const QString &name) const
    {
        QFile file(localFile(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The log with each time stamp (the German short date and the time)
    // replaced by "@"; the rest must match byte for byte.
    QByteArray log() const
    {
        QFile file(workDir.filePath(QStringLiteral("VANTREL.log")));
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        QString text = QString::fromUtf8(file.readAll());
        static const QRegularExpression stamp(QStringLiteral(R"((^|\n|NAPAKA)\d\d\.\d\d\.\d\d \d\d:\d\d:\d\d )"));
        text.replace(stamp, QStringLiteral("\\1@ "));
        return text.toUtf8();
    }

    QString marker() const { return workDir.filePath(QStringLiteral("after-job")); }
    QString markerCommand() const { return QStringLiteral("/bin/sh -c \"echo ran >> '%1'\"").arg(marker()); }

    QTemporaryDir programDir;
    QTemporaryDir workDir;
    QString program;
    FtpTestServer server;
    qint64 elapsedMs = 0;
    QString errors;
    QString output;
};

TEST_F(EndToEnd, DownloadWithDeleteFromTheCommandLine)
{
    startServer();
    server.writeFile(QStringLiteral("out/a.zip"), "archive a");
    server.writeFile(QStringLiteral("out/b.zip"), QByteArray(70000, 'b'));
    server.writeFile(QStringLiteral("out/keep.txt"), "not matched");
    server.mkdir(QStringLiteral("out/folder.zip"));
    writeSettings(site(server.address(), QStringLiteral("/out/"), QStringLiteral("run1=%1").arg(markerCommand())));

    EXPECT_EQ(runProgram({QStringLiteral("*.zip,DOWN,DEL")}), ExitCode::Done) << errors.toStdString();
    EXPECT_EQ(errors, QString()) << "a clean job says nothing, and neither does Qt";
    EXPECT_GE(elapsedMs, 5000) << "the pause before the follow-up programs";
    EXPECT_EQ(readLocal(QStringLiteral("a.zip")), QByteArray("archive a"));
    EXPECT_EQ(readLocal(QStringLiteral("b.zip")), QByteArray(70000, 'b'));
    EXPECT_FALSE(server.exists(QStringLiteral("out/a.zip")));
    EXPECT_FALSE(server.exists(QStringLiteral("out/b.zip")));
    EXPECT_TRUE(server.exists(QStringLiteral("out/keep.txt")));
    EXPECT_TRUE(server.exists(QStringLiteral("out/folder.zip"))) << "a folder is no file to download";
    // The listing's order is the server's; compare line by line as a set.
    QList<QByteArray> lines = log().split('\n');
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (QList<QByteArray>{"", "@ /out/a.zip----->" + localFile(QStringLiteral("a.zip")).toUtf8() + "\r",
                                        "@ /out/b.zip----->" + localFile(QStringLiteral("b.zip")).toUtf8() + "\r"}));
    for (int i = 0; i < 50 && !QFile::exists(marker()); ++i)
        QThread::msleep(100);
    EXPECT_TRUE(QFile::exists(marker())) << "run1 started";
}

// The real program lets its window's events run during a transfer, so Qt
// reads and decrypts in between: a large file over TLS, both ways, on a
// server that requires every data connection to resume the session.
TEST_F(EndToEnd, LargeFilesOverExplicitTlsBothWays)
{
    const TestCertificates &files = testCertificates();
    startServer({QStringLiteral("--tls"), files.trusted, files.serverKey, QStringLiteral("--require-reuse")});
    QByteArray data(24 * 1024 * 1024 + 3, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char((i * 131) ^ (i >> 12));
    server.writeFile(QStringLiteral("big.bin"), data);
    writeLocal(QStringLiteral("up.bin"), data.left(5 * 1024 * 1024));
    writeSettings(site(
        QStringLiteral("ftpes://") + server.address(), QStringLiteral("/"),
        QStringLiteral("tlsca=%1\r\ndatamode=passive\r\nprenos1=big.bin,DOWN\r\nprenos2=up.bin").arg(files.caFile)));

    EXPECT_EQ(runProgram({}), ExitCode::Done) << errors.toStdString();
    EXPECT_EQ(errors, QString());
    EXPECT_TRUE(readLocal(QStringLiteral("big.bin")) == data);
    EXPECT_TRUE(server.readFile(QStringLiteral("up.bin")) == data.left(5 * 1024 * 1024));
}

TEST_F(EndToEnd, UploadOfListedEntriesThreeAndSeven)
{
    startServer();
    writeLocal(QStringLiteral("three.txt"), "3");
    writeLocal(QStringLiteral("seven.txt"), "7");
    writeLocal(QStringLiteral("other.txt"), "o");
    writeSettings(site(server.address(), QStringLiteral("/"),
                       QStringLiteral("prenos3=three.txt,,DEL\r\nprenos7=seven.txt\r\nprenos21=other.txt")));

    EXPECT_EQ(runProgram({QStringLiteral("  ")}), ExitCode::Done) << errors.toStdString();
    EXPECT_EQ(server.readFile(QStringLiteral("three.txt")), QByteArray("3"));
    EXPECT_EQ(server.readFile(QStringLiteral("seven.txt")), QByteArray("7"));
    EXPECT_FALSE(server.exists(QStringLiteral("other.txt")));
    EXPECT_FALSE(QFile::exists(localFile(QStringLiteral("three.txt"))));
    EXPECT_TRUE(QFile::exists(localFile(QStringLiteral("seven.txt"))));
    EXPECT_EQ(log(), "@ " + localFile(QStringLiteral("three.txt")).toUtf8()
                         + "----->/three.txt\r\n"
                           "@ "
                         + localFile(QStringLiteral("seven.txt")).toUtf8() + "----->/seven.txt\r\n");
}

TEST_F(EndToEnd, SiteSwitchedByTheCommandLine)
{
    startServer();
    server.mkdir(QStringLiteral("in"));
    writeLocal(QStringLiteral("r.txt"), "report");
    writeSettings(site(QStringLiteral("127.0.0.1:1"), QStringLiteral("/"), QString())
                  + QStringLiteral("[drugi]\r\nFTPURL=%1\r\nftpdir=/in/\r\nlocaldir=%2/\r\nuporabnik=quelmo\r\n"
                                   "geslo=zelkar\r\n")
                        .arg(server.address(), localDir()));

    EXPECT_EQ(runProgram({QStringLiteral("drugi,r.txt")}), ExitCode::Done) << errors.toStdString();
    EXPECT_EQ(server.readFile(QStringLiteral("in/r.txt")), QByteArray("report"));
    EXPECT_EQ(log(), "@ " + localFile(QStringLiteral("r.txt")).toUtf8() + "----->/in/r.txt\r\n");
}

TEST_F(EndToEnd, UnreachableServerStillRunsTheFollowUpProgram)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    writeSettings(site(QStringLiteral("127.0.0.1:%1").arg(closedPort), QStringLiteral("/"),
                       QStringLiteral("prenos1=*.txt\r\nrun1=%1").arg(markerCommand())));

    EXPECT_EQ(runProgram({QStringLiteral("x.txt")}), ExitCode::NotConnected);
    EXPECT_GE(elapsedMs, 5000);
    EXPECT_TRUE(errors.contains(QStringLiteral("InternetConnect error code: 12029"))) << errors.toStdString();
    for (int i = 0; i < 50 && !QFile::exists(marker()); ++i)
        QThread::msleep(100);
    EXPECT_TRUE(QFile::exists(marker()));
    EXPECT_EQ(log(), QByteArray());
}

TEST_F(EndToEnd, FinalFailureEndsTheJobThere)
{
    startServer({QStringLiteral("--refuse-stor"), QStringLiteral("3")});
    writeLocal(QStringLiteral("a.txt"), "a");
    writeLocal(QStringLiteral("b.txt"), "b");
    writeSettings(site(server.address(), QStringLiteral("/"),
                       QStringLiteral("prenos1=a.txt,,DEL\r\nprenos2=b.txt\r\nrun1=%1").arg(markerCommand())));

    EXPECT_EQ(runProgram({}), ExitCode::FileFailed);
    EXPECT_EQ(errors, QStringLiteral("quelmo: error: [site] %1: %2 -> /a.txt: 550 Refused by test.\n")
                          .arg(server.address(), localFile(QStringLiteral("a.txt"))))
        << "one line with the site, the server, both paths and the reason";
    EXPECT_EQ(log(),
              "NAPAKA@ " + localFile(QStringLiteral("a.txt")).toUtf8() + "----->/a.txt 550 Refused by test.\r\n\r\n");
    EXPECT_TRUE(QFile::exists(localFile(QStringLiteral("a.txt"))));
    EXPECT_FALSE(server.exists(QStringLiteral("b.txt")));
    QThread::msleep(300);
    EXPECT_FALSE(QFile::exists(marker())) << "no follow-up program after a final failure";
}

// ---- the command line and standard error --------------------------------------

struct InfoCase
{
    const char *option;
    const char *startOfOutput;
};

class InfoOption : public EndToEnd, public ::testing::WithParamInterface<InfoCase>
{};

TEST_P(InfoOption, PrintsAndEndsWithoutConnecting)
{
    // No settings, no server, no display: none of them is needed.
    EXPECT_EQ(runProgram({QString::fromLatin1(GetParam().option), QStringLiteral("*.zip,DOWN,DEL")}), ExitCode::Done);
    EXPECT_TRUE(output.startsWith(QString::fromUtf8(GetParam().startOfOutput))) << output.toStdString();
    EXPECT_EQ(errors, QString());
    EXPECT_LT(elapsedMs, 3000) << "no job, so no closing pause";
    EXPECT_EQ(log(), QByteArray());
}

const std::string VersionLine = std::string("quelmo ") + QUELMO_VERSION + "\n";

INSTANTIATE_TEST_SUITE_P(Options, InfoOption,
                         ::testing::Values(InfoCase{"--help", "Usage: quelmo [OPTION]..."},
                                           InfoCase{"-h", "Usage: quelmo [OPTION]..."},
                                           InfoCase{"--version", VersionLine.c_str()},
                                           InfoCase{"-V", VersionLine.c_str()}),
                         [](const auto &info) {
                             return std::string(info.param.option[1] == '-' ? "long_" : "short_")
                                    + (info.param.startOfOutput[0] == 'U' ? "help" : "version");
                         });

TEST_F(EndToEnd, HelpNamesTheSettingsFileBesideTheProgram)
{
    EXPECT_EQ(runProgram({QStringLiteral("--help")}), ExitCode::Done);
    EXPECT_TRUE(output.contains(programDir.filePath(QStringLiteral("quelmo.ini")))) << output.toStdString();
}

TEST_F(EndToEnd, SettingsFromElsewhereKeepTheProgramFolderAsLocalFolder)
{
    startServer();
    QFile ini(workDir.filePath(QStringLiteral("job.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[PROGRAM]\nIZBRANO=site\n[site]\nFTPURL=%1\nftpdir=/\n").arg(server.address()).toUtf8());
    ini.close();
    QFile local(programDir.filePath(QStringLiteral("p.txt")));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write("from the program folder");
    local.close();

    EXPECT_EQ(runProgram({QStringLiteral("--config"), QStringLiteral("job.ini"), QStringLiteral("p.txt")}),
              ExitCode::Done)
        << errors.toStdString();
    EXPECT_EQ(server.readFile(QStringLiteral("p.txt")), QByteArray("from the program folder"));
    EXPECT_EQ(errors, QString());
}

struct RefusedCase
{
    const char *name;
    QStringList arguments;
    const char *error; // @W: the working directory
};

class RefusedStart : public EndToEnd, public ::testing::WithParamInterface<RefusedCase>
{};

TEST_P(RefusedStart, EndsWithTwoBeforeConnecting)
{
    startServer();
    writeSettings(site(server.address(), QStringLiteral("/"), QStringLiteral("prenos1=*")));
    writeLocal(QStringLiteral("a.txt"), "a");
    EXPECT_EQ(runProgram(GetParam().arguments), ExitCode::CannotStart);
    EXPECT_EQ(errors, QString::fromUtf8(GetParam().error).replace(QStringLiteral("@W"), workDir.path()));
    EXPECT_LT(elapsedMs, 3000) << "no job, so no closing pause";
    EXPECT_FALSE(server.exists(QStringLiteral("a.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Options, RefusedStart,
    ::testing::Values(
        RefusedCase{"missing_config",
                    {"-c", "none.ini"},
                    "quelmo: error: settings file @W/none.ini cannot be read: No such file or directory\n"},
        RefusedCase{"config_is_a_folder", {"--config", "."}, "quelmo: error: settings file @W is a folder\n"},
        RefusedCase{"unknown_option",
                    {"--dry-run", "a.txt"},
                    "quelmo: error: unknown option --dry-run (quelmo --help lists them; \"--\" ends the options)\n"}),
    [](const auto &info) { return std::string(info.param.name); });

struct DisplayCase
{
    const char *variable;
    const char *value;
};

class StaleDisplay : public EndToEnd, public ::testing::WithParamInterface<DisplayCase>
{};

TEST_P(StaleDisplay, FallsBackToOffscreenWithOneLine)
{
    ASSERT_FALSE(QFile::exists(QStringLiteral("/tmp/.X11-unix/X4711"))) << "display :4711 must not exist";
    startServer();
    writeSettings(site(server.address(), QStringLiteral("/"), QString()));
    writeLocal(QStringLiteral("a.txt"), "a");

    EXPECT_EQ(runProgram({QStringLiteral("a.txt")}, {{GetParam().variable, GetParam().value}}), ExitCode::Done);
    EXPECT_EQ(errors, QStringLiteral("quelmo: warning: cannot open the display (%1=%2); the window runs offscreen\n")
                          .arg(QLatin1String(GetParam().variable), QLatin1String(GetParam().value)));
    EXPECT_EQ(server.readFile(QStringLiteral("a.txt")), QByteArray("a")) << "and the job goes on";
}

INSTANTIATE_TEST_SUITE_P(Environment, StaleDisplay,
                         ::testing::Values(DisplayCase{"DISPLAY", ":4711"},
                                           DisplayCase{"WAYLAND_DISPLAY", "quelmo-no-compositor"}),
                         [](const auto &info) { return std::string(info.param.variable); });

TEST_F(EndToEnd, MisspeltDirectionWithDeleteIsNotRun)
{
    startServer();
    writeSettings(site(server.address(), QStringLiteral("/"), QStringLiteral("prenos1=*.txt,DWON,DEL")));
    writeLocal(QStringLiteral("a.txt"), "local copy");
    server.writeFile(QStringLiteral("a.txt"), "server copy");

    EXPECT_EQ(runProgram({}), ExitCode::WorkedAround);
    EXPECT_EQ(readLocal(QStringLiteral("a.txt")), QByteArray("local copy"));
    EXPECT_EQ(server.readFile(QStringLiteral("a.txt")), QByteArray("server copy"));
    EXPECT_EQ(errors, QStringLiteral("quelmo: error: [site] %1: transfer command \"*.txt,DWON,DEL\" not run: its "
                                     "direction \"DWON\" is neither DOWN nor UP, and with DEL the upload would delete "
                                     "the local files\n")
                          .arg(server.address()));
    EXPECT_EQ(log(), QByteArray());
}

TEST_F(EndToEnd, WarningsOnceAndAMissingNamedFileEndWithFive)
{
    startServer();
    writeSettings(site(server.address(), QStringLiteral("/"),
                       QStringLiteral("lokaldir=/srv/\r\nprenos1=report.txt,DOWN\r\nprenos2=*.none,DOWN\r\n"
                                      "prenos3=*.none,DOWN")));

    EXPECT_EQ(runProgram({}), ExitCode::WorkedAround);
    EXPECT_EQ(errors,
              QStringLiteral("quelmo: warning: [site] %1: key \"lokaldir\" is not known and never read (did you "
                             "mean \"localdir\"?)\n"
                             "quelmo: error: [site] %1: /report.txt -> %2: no such file on the server\n")
                  .arg(server.address(), localFile(QStringLiteral("report.txt"))));
}

// ---- the JSON record ---------------------------------------------------------

// A record named relative to the working directory lands there, and a
// script reads it back line by line: the files in the order they ended,
// then the end with the code the program ended with.
TEST_F(EndToEnd, JsonRecordOfEveryFileAndOfTheEnd)
{
    startServer();
    server.writeFile(QStringLiteral("out/a.zip"), "archive a");
    server.writeFile(QStringLiteral("out/b.zip"), QByteArray(70000, 'b'));
    writeLocal(QStringLiteral("up.txt"), "upload");
    writeSettings(
        site(server.address(), QStringLiteral("/out/"), QStringLiteral("prenos1=up.txt,,DEL\r\nprenos2=gone.txt")));
    ASSERT_TRUE(QDir(workDir.path()).mkdir(QStringLiteral("records")));
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);

    const int exitCode
        = runProgram({QStringLiteral("--log-json"), QStringLiteral("records/job.jsonl"), QStringLiteral("*.zip,DOWN")});
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);
    EXPECT_EQ(exitCode, ExitCode::WorkedAround) << errors.toStdString();
    EXPECT_EQ(errors, QStringLiteral("quelmo: error: [site] %1: %2 -> /out/gone.txt: no such local file\n")
                          .arg(server.address(), localFile(QStringLiteral("gone.txt"))));

    QList<QJsonObject> records = readJsonLines(workDir.filePath(QStringLiteral("records/job.jsonl")));
    ASSERT_EQ(records.size(), 5);
    // The listing's order is the server's.
    std::sort(records.begin(), records.begin() + 2, [](const QJsonObject &a, const QJsonObject &b) {
        return a.value("name").toString() < b.value("name").toString();
    });
    for (const QJsonObject &record : std::as_const(records)) {
        const QDateTime time = QDateTime::fromString(record.value("time").toString(), Qt::ISODateWithMs);
        EXPECT_TRUE(time.isValid() && time.timeSpec() == Qt::UTC) << record.value("time").toString().toStdString();
        EXPECT_TRUE(before <= time && time <= after) << record.value("time").toString().toStdString();
        EXPECT_EQ(record.value("site"), QJsonValue("site"));
        EXPECT_EQ(record.value("server"), QJsonValue(server.address()));
    }
    // Each file as a line: what a script would pick out of its record.
    QStringList files;
    for (qsizetype i = 0; i + 1 < records.size(); ++i) {
        const QJsonObject &r = records.at(i);
        EXPECT_EQ(r["record"], QJsonValue("file"));
        const QString outcome
            = r["outcome"].toString() + (r["error"].isNull() ? QString() : ": ") + r["error"].toString();
        files << QStringLiteral("%1 %2 -> %3, %4 bytes, %5 attempt(s), %6, %7, %8")
                     .arg(r["direction"].toString(), r["source"].toString(), r["destination"].toString())
                     .arg(r["bytes"].toInteger())
                     .arg(r["attempts"].toInt())
                     .arg(r["sourceDeleted"].toBool() ? "source deleted" : "source kept",
                          r["verification"].isString() ? "checked" : "not checked", outcome);
    }
    const QString a = localFile(QStringLiteral("a.zip")), b = localFile(QStringLiteral("b.zip"));
    const QString up = localFile(QStringLiteral("up.txt")), gone = localFile(QStringLiteral("gone.txt"));
    EXPECT_EQ(
        files,
        (QStringList{
            "download /out/a.zip -> " + a + ", 9 bytes, 1 attempt(s), source kept, checked, delivered",
            "download /out/b.zip -> " + b + ", 70000 bytes, 1 attempt(s), source kept, checked, delivered",
            "upload " + up + " -> /out/up.txt, 6 bytes, 1 attempt(s), source deleted, checked, delivered",
            "upload " + gone
                + " -> /out/gone.txt, 0 bytes, 0 attempt(s), source kept, not checked, skipped: no such local file",
        }));
    const QJsonObject &end = records.last();
    EXPECT_EQ(end.value("record"), QJsonValue("end"));
    EXPECT_EQ(end.value("exitCode"), QJsonValue(exitCode)) << "the code the program ended with";
    EXPECT_EQ(end.value("delivered"), QJsonValue(3));
    EXPECT_EQ(end.value("failed"), QJsonValue(0));
    EXPECT_EQ(end.value("skipped"), QJsonValue(1));
    EXPECT_EQ(end.value("bytes"), QJsonValue(70015));
    EXPECT_GE(end.value("seconds").toDouble(), 5.0) << "the pause before the follow-up programs is in it";
    EXPECT_LE(QDateTime::fromString(end.value("started").toString(), Qt::ISODateWithMs),
              QDateTime::fromString(records.first().value("time").toString(), Qt::ISODateWithMs));
    EXPECT_EQ(end.value("errors").toArray().size(), 1);
    EXPECT_EQ(log().count("----->"), 3) << "VANTREL.log still has its own line for each delivered file";
}

// A folder where the record should go: the job still moves its files,
// says so in one line and ends with 5.
TEST_F(EndToEnd, UnwritableJsonRecordEndsWithFive)
{
    startServer();
    writeLocal(QStringLiteral("a.txt"), "a");
    writeLocal(QStringLiteral("b.txt"), "b");
    writeSettings(site(server.address(), QStringLiteral("/"), QString()));

    EXPECT_EQ(runProgram({QStringLiteral("--log-json=") + workDir.path(), QStringLiteral("*.txt")}),
              ExitCode::WorkedAround);
    EXPECT_TRUE(errors.startsWith(QStringLiteral("quelmo: error: [site] %1: not written to the JSON record %2: ")
                                      .arg(server.address(), workDir.path())))
        << errors.toStdString();
    EXPECT_EQ(errors.count(QLatin1Char('\n')), 1) << "said once, not once per record";
    EXPECT_EQ(server.readFile(QStringLiteral("a.txt")), QByteArray("a"));
    EXPECT_EQ(server.readFile(QStringLiteral("b.txt")), QByteArray("b"));
}

// ---- ending in the middle of a download --------------------------------------

class SignalDuringADownload : public EndToEnd, public ::testing::WithParamInterface<int>
{};

// A scheduler stops the job while a file comes in (the server has gone
// quiet, so the program waits in the middle of it): the temporary file goes
// with the program, the older copy stays, and the scheduler sees the
// program killed by its signal, at once.
TEST_P(SignalDuringADownload, RemovesThePartialFileAndDiesOfTheSignal)
{
    startServer({QStringLiteral("--stall-data")});
    server.writeFile(QStringLiteral("big.bin"), QByteArray(100000, 'n'));
    writeLocal(QStringLiteral("big.bin"), "older copy");
    writeSettings(site(server.address(), QStringLiteral("/"), QString()));
    const std::unique_ptr<QProcess> process = startProgram({QStringLiteral("big.bin,DOWN")});
    ASSERT_TRUE(waitFor([&] { return QFile::exists(localFile(QStringLiteral(".big.bin.part"))); }, 20000))
        << "the download began";

    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(::kill(pid_t(process->processId()), GetParam()), 0);
    ASSERT_TRUE(process->waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 1000) << "no noticeable delay";
    EXPECT_EQ(process->exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(process->exitCode(), GetParam()) << "killed by that signal";
    EXPECT_EQ(localFiles(), QStringList{QStringLiteral("big.bin")});
    EXPECT_EQ(readLocal(QStringLiteral("big.bin")), QByteArray("older copy"));
}

INSTANTIATE_TEST_SUITE_P(
    Signals, SignalDuringADownload, ::testing::Values(SIGTERM, SIGINT, SIGHUP), [](const auto &info) {
        return std::string(info.param == SIGTERM ? "SIGTERM" : info.param == SIGINT ? "SIGINT" : "SIGHUP");
    });

// A person presses "Zapri" on a real display (Xvfb) while a file comes in
// slowly: the program ends with code 3 and leaves no partial file.
TEST_F(EndToEnd, ZapriDuringADownloadLeavesNoPartialFile)
{
    const QString xvfb = QStringLiteral("/usr/bin/Xvfb");
    if (!QFile::exists(xvfb))
        GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
    int displayNumber = 70;
    while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(displayNumber))
           || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(displayNumber)))
        ++displayNumber;
    const QString display = QStringLiteral(":%1").arg(displayNumber);
    QProcess screen;
    screen.start(xvfb, {display, QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    const auto stopScreen = qScopeGuard([&] {
        screen.terminate();
        screen.waitForFinished(3000);
    });
    ASSERT_TRUE(waitFor([&] { return QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(displayNumber)); }, 10000))
        << "Xvfb did not start";

    startServer({QStringLiteral("--throttle"), QStringLiteral("100000")});
    server.writeFile(QStringLiteral("big.bin"), QByteArray(5000000, 'n'));
    writeLocal(QStringLiteral("big.bin"), "older copy");
    writeSettings(site(server.address(), QStringLiteral("/"), QString()));
    const std::unique_ptr<QProcess> process = startProgram(
        {QStringLiteral("big.bin,DOWN")}, {{"DISPLAY", display}, {"QT_QPA_PLATFORM", QStringLiteral("xcb")}});
    ASSERT_TRUE(waitFor([&] { return QFile::exists(localFile(QStringLiteral(".big.bin.part"))); }, 20000))
        << "the download began";

    // The middle of "Zapri", which the window lays out at 400,0, 113 by 25.
    QProcess click;
    click.setProcessEnvironment([&] {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        return environment;
    }());
    click.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(QUELMO_TEST_SUPPORT_DIR "/xclick.py"), QStringLiteral("FTP prenos"),
                 QStringLiteral("456"), QStringLiteral("12")});
    ASSERT_TRUE(click.waitForFinished(15000));
    ASSERT_EQ(click.exitCode(), 0) << click.readAllStandardError().toStdString();

    ASSERT_TRUE(process->waitForFinished(10000)) << "the click ended the program";
    EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process->exitCode(), ExitCode::Closed);
    EXPECT_EQ(localFiles(), QStringList{QStringLiteral("big.bin")});
    EXPECT_EQ(readLocal(QStringLiteral("big.bin")), QByteArray("older copy"));
}

} // namespace
