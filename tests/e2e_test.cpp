// The real program, run as a scheduler would run it: copied into a program
// folder of its own with its settings beside it, started from another
// working directory, with no display.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "platform/exitcode.h"
#include "support/ftpserver.h"
#include "support/qtprint.h"

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

    // Runs the program to its end; its exit code.
    int runProgram(const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // No display: the program must find its way to the offscreen
        // platform by itself.
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(workDir.path());
        process.setStandardInputFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(90000)) << "the program did not end by itself";
        elapsedMs = clock.elapsed();
        errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

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
    EXPECT_EQ(log(),
              "NAPAKA@ " + localFile(QStringLiteral("a.txt")).toUtf8() + "----->/a.txt 550 Refused by test.\r\n\r\n");
    EXPECT_TRUE(QFile::exists(localFile(QStringLiteral("a.txt"))));
    EXPECT_FALSE(server.exists(QStringLiteral("b.txt")));
    QThread::msleep(300);
    EXPECT_FALSE(QFile::exists(marker())) << "no follow-up program after a final failure";
}

} // namespace
