#pragma once

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "ftp/cftp.h"
#include "support/fakedesktop.h"
#include "support/frmaccess.h"
#include "support/ftplogin.h"
#include "support/ftpserver.h"
#include "window/frmupdate.h"

// A whole job in one process: the window with a fake desktop (nothing sleeps,
// the end of the program is an exception), a settings file of the test's own
// beside a pretend executable, a working directory for the log, and a real
// FTP server.
class JobTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(programDir.isValid() && workDir.isValid());
        previousDir = QDir::currentPath();
        QDir::setCurrent(workDir.path());
        QDir(programDir.path()).mkpath(QStringLiteral("local"));
        desktop.programDir = programDir.path();
        desktop.onSleep = [this](int) { noteStatus(); };
        desktop.onPump = [this] { noteStatus(); };
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void TearDown() override
    {
        QDir::setCurrent(previousDir);
        QLocale::setDefault(QLocale::system());
    }

    void startServer(const QStringList &faults = {})
    {
        ASSERT_TRUE(server.start({.extraArgs = faults})) << server.errorString().toStdString();
    }

    // The site "site" on the test server, with the given extra lines.
    void writeSettings(const QString &siteLines = QString(), const QString &otherSections = QString())
    {
        QFile ini(programDir.filePath(QStringLiteral("quelmo.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(QStringLiteral("[PROGRAM]\nIZBRANO=site\n\n[site]\nFTPURL=%1\nftpdir=/\nlocaldir=%2/\n%3\n%4")
                      .arg(server.address(), localDir(), siteLines, otherSections)
                      .toUtf8());
    }

    void load()
    {
        form = std::make_unique<FrmUpdate>(desktop);
        form->Form_Load();
        form->ftp()->SetTimeout(1500);
    }

    // Logs the window's FTP object in to the test server, for tests that
    // run one procedure of the job rather than the whole activation.
    ::testing::AssertionResult connectFtp() { return logIn(*form->ftp(), server); }

    // Runs a piece of the job; the exit code when it ended the program.
    template<typename F>
    std::optional<int> run(F &&f)
    {
        try {
            f();
        } catch (const ProgramEnded &end) {
            return end.exitCode;
        }
        return std::nullopt;
    }

    QString localDir() const { return programDir.filePath(QStringLiteral("local")); }
    // A file of the site's folders, as a transfer command hands it on.
    FrmUpdate::FileToMove fileNamed(const QString &name) const
    {
        return {name, localFile(name), QLatin1Char('/') + name};
    }
    QString localFile(const QString &name) const { return localDir() + QLatin1Char('/') + name; }

    void writeLocal(const QString &name, const QByteArray &data)
    {
        QFile file(localFile(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
    }

    QStringList logLines() const
    {
        QFile log(workDir.filePath(QStringLiteral("VANTREL.log")));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(log.readAll()).split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    // The stamp of the fake clock's 7 December 2026, 9:41:05 in the German
    // locale the fixture selects: short date, blank, time with seconds.
    static QString stamp() { return QStringLiteral("07.12.26 09:41:05"); }

    void noteStatus()
    {
        if (!form)
            return;
        const QString text = form->Label3->text();
        if (statuses.isEmpty() || statuses.last() != text)
            statuses.append(text);
    }

    QTemporaryDir programDir;
    QTemporaryDir workDir;
    QString previousDir;
    FtpTestServer server;
    FakeDesktop desktop;
    std::unique_ptr<FrmUpdate> form;
    QStringList statuses;
};
