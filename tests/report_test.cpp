// What a whole job writes to standard error, and the exit code it ends
// with, for the mistakes and problems it works around.

#include <QDir>
#include <QFile>

#include <vector>

#include "platform/exitcode.h"
#include "support/jobfixture.h"
#include "support/qtprint.h"

namespace {

// In settings and expected lines: @S the server's address, @L the local
// folder (no trailing "/"), @I the settings file, @W the working directory.
struct ReportCase
{
    const char *name;
    const char *ini; // nullptr: no settings file at all
    const char *commandLine;
    std::vector<const char *> localFiles;
    std::vector<const char *> serverFiles;
    std::vector<const char *> lines;
    int exitCode;
    QStringList serverFaults = {};
};

void PrintTo(const ReportCase &c, std::ostream *os)
{
    *os << c.name;
}

const char *const Site = "[PROGRAM]\nIZBRANO=site\n[site]\nFTPURL=@S\nftpdir=/\nlocaldir=@L/\n";
const char *const Unreachable
    = "quelmo: error: [site] 127.0.0.1: InternetConnect error code: 12029 Message: A connection with the server "
      "could not be established";

std::string siteWith(const char *lines)
{
    return std::string(Site) + lines;
}

class JobReport : public JobTest, public ::testing::WithParamInterface<ReportCase>
{
protected:
    QString fill(QString text) const
    {
        return text.replace(QStringLiteral("@S"), server.address())
            .replace(QStringLiteral("@L"), localDir())
            .replace(QStringLiteral("@I"), programDir.filePath(QStringLiteral("quelmo.ini")))
            .replace(QStringLiteral("@W"), workDir.path());
    }
};

TEST_P(JobReport, LinesOnStandardErrorAndExitCode)
{
    const ReportCase &c = GetParam();
    startServer(c.serverFaults);
    if (c.ini) {
        QFile ini(programDir.filePath(QStringLiteral("quelmo.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(fill(QString::fromUtf8(c.ini)).toUtf8());
    }
    for (const char *name : c.localFiles)
        writeLocal(QString::fromUtf8(name), name);
    for (const char *name : c.serverFiles)
        server.writeFile(QString::fromUtf8(name), name);
    QDir(workDir.path()).mkdir(QStringLiteral("in"));
    load();
    desktop.arguments = QString::fromUtf8(c.commandLine);

    EXPECT_EQ(run([&] { form->Form_Activate(); }), c.exitCode);
    QStringList expected;
    for (const char *line : c.lines)
        expected << fill(QString::fromUtf8(line));
    EXPECT_EQ(desktop.diagnostics, expected);
}

// clang-format off
const std::string Typo = siteWith("lokaldir=/tmp/\nprenos1=a.txt\nRUN1=ok\n");
const std::string Numbers = siteWith("prenos21=a.txt\nprenos03=a.txt\nprenso2=a.txt\nzapis=1\n");
const std::string NoSlash = "[PROGRAM]\nIZBRANO=site\n[site]\nFTPURL=@S\nftpdir=/in\nlocaldir=@L\n"
                            "prenos1=a*,DOWN\nprenos2=b*,DOWN\n";
const std::string Relative = "[PROGRAM]\nIZBRANO=site\n[site]\nFTPURL=@S\nlocaldir=in/\nprenos1=*.txt\n";
const std::string Misspelt = siteWith("prenos1=*.txt,DWON,DEL\nprenos2=*.txt,dwon\n");
const std::string Named = siteWith("prenos1=missing.txt\nprenos2=gone.txt,DOWN\nprenos3=*.rar,DOWN\nprenos4=*.rar\n");
const std::string Switched = std::string(Site) + "[drugi]\nFTPURL=@S\nftpdir=/\nlocaldir=@L/\nuporabnik=quelmo\ngeslo=zelkar\n";
const std::string Clean = siteWith("prenos1=a.txt,,DEL\nprenos2=b.txt,DOWN,DEL\n");
const std::string ListThenUpload = siteWith("prenos1=*.bin,DOWN\nprenos2=a.txt\n");
const std::string DeliveryValues = siteWith("verify=sha\nuploadtemp=yes\nprenos1=a.txt\n");
const std::string HashWanted = siteWith("verify=HASH\nprenos1=*.txt\n");
const std::string ShortPassword = siteWith("geslo=a\nprenos1=a.txt\n");
const std::string Unsendable = siteWith("prenos1=*.txt\n");

const ReportCase reportCases[] = {
    {"clean_job_says_nothing", Clean.c_str(), "", {"a.txt"}, {"b.txt"}, {}, ExitCode::Done},
    {"misspelt_key", Typo.c_str(), "", {"a.txt"}, {},
     {"quelmo: warning: [site] @S: key \"lokaldir\" is not known and never read (did you mean \"localdir\"?)"},
     ExitCode::Done},
    {"numbers_out_of_range", Numbers.c_str(), "", {"a.txt"}, {},
     {"quelmo: warning: [site] @S: key \"prenos21\" is never read: the list runs from prenos1 to prenos20, without "
      "leading zeros",
      "quelmo: warning: [site] @S: key \"prenos03\" is never read: the list runs from prenos1 to prenos20, without "
      "leading zeros",
      "quelmo: warning: [site] @S: key \"prenso2\" is not known and never read (did you mean \"prenos2\"?)",
      "quelmo: warning: [site] @S: key \"zapis\" is not known and never read"},
     ExitCode::Done},
    {"prefixes_without_slash_once", NoSlash.c_str(), "", {}, {"in/x"},
     {"quelmo: warning: [site] @S: ftpdir \"/in\" does not end with \"/\": names are appended to it as they are, "
      "as in \"/ina*\"",
      "quelmo: warning: [site] @S: localdir \"@L\" does not end with \"/\": names are appended to it as they are, "
      "as in \"@La*\""},
     ExitCode::Done},
    {"relative_local_folder", Relative.c_str(), "", {}, {},
     {"quelmo: warning: [site] @S: localdir \"in/\" is relative: it is taken from the working directory, as in "
      "\"@W/in/*.txt\""},
     ExitCode::Done},
    {"misspelt_direction", Misspelt.c_str(), "", {"a.txt"}, {},
     {"quelmo: error: [site] @S: transfer command \"*.txt,DWON,DEL\" not run: its direction \"DWON\" is neither "
      "DOWN nor UP, and with DEL the upload would delete the local files",
      "quelmo: warning: [site] @S: transfer command \"*.txt,dwon\": direction \"dwon\" is neither DOWN nor UP; "
      "uploading"},
     ExitCode::WorkedAround},
    {"named_files_missing", Named.c_str(), "", {}, {},
     {"quelmo: error: [site] @S: @L/missing.txt -> /missing.txt: no such local file",
      "quelmo: error: [site] @S: /gone.txt -> @L/gone.txt: no such file on the server"},
     ExitCode::WorkedAround},
    {"site_then_blank", Switched.c_str(), "drugi a.txt", {"drugi a.txt"}, {},
     {"quelmo: warning: [site] @S: \"drugi\" names a site, but a blank follows it instead of a comma: the whole "
      "command line was taken as a transfer command for this site"},
     ExitCode::Done},
    {"site_then_comma", Switched.c_str(), "drugi,a.txt", {"a.txt"}, {}, {}, ExitCode::Done},
    {"no_settings_file", nullptr, "", {}, {},
     {"quelmo: warning: settings file @I is missing; defaults apply",
      "quelmo: error: 127.0.0.1: InternetConnect error code: 12029 Message: A connection with the server could not "
      "be established"},
     ExitCode::NotConnected},
    {"no_site_selected", "[PROGRAM]\n[site]\nFTPURL=@S\n", "", {}, {},
     {"quelmo: warning: 127.0.0.1: no site selected: [PROGRAM] has no IZBRANO in @I; the default server is used",
      "quelmo: error: 127.0.0.1: InternetConnect error code: 12029 Message: A connection with the server could not "
      "be established"},
     ExitCode::NotConnected},
    {"selected_site_missing", "[PROGRAM]\nIZBRANO=site\n[other]\nFTPURL=@S\n", "", {}, {},
     {"quelmo: warning: [site] 127.0.0.1: IZBRANO names a section that @I does not have; the default server is "
      "used", Unreachable},
     ExitCode::NotConnected},
    {"site_without_server", "[PROGRAM]\nIZBRANO=site\n[site]\nftpdir=/\n", "", {}, {},
     {"quelmo: warning: [site] 127.0.0.1: the site has no FTPURL; the default server is used", Unreachable},
     ExitCode::NotConnected},
    {"listing_refused_next_command_runs", ListThenUpload.c_str(), "", {"a.txt"}, {"x.bin"},
     {"quelmo: error: [site] @S: /*.bin: the listing failed: 450 Listing refused (test)."}, ExitCode::WorkedAround,
     {QStringLiteral("--answer"), QStringLiteral("MLSD=450 Listing refused (test).")}},
    {"listing_hung_up_next_command_reconnects", ListThenUpload.c_str(), "", {"a.txt"}, {"x.bin"},
     {"quelmo: error: [site] @S: /*.bin: the listing failed: FtpFindFirstFile error code: 12030 Message: The "
      "connection with the server was terminated abnormally"},
     ExitCode::WorkedAround, {QStringLiteral("--close-after"), QStringLiteral("MLSD")}},
    {"delivery_values_unknown", DeliveryValues.c_str(), "", {"a.txt"}, {},
     {"quelmo: warning: [site] @S: verify \"sha\" is neither size nor hash: files are verified by their size",
      "quelmo: warning: [site] @S: uploadtemp \"yes\" is neither 0 nor 1: uploads go straight to their names"},
     ExitCode::Done},
    {"hash_wanted_but_none_offered_said_once", HashWanted.c_str(), "", {"a.txt", "b.txt"}, {},
     {"quelmo: warning: [site] @S: verify=hash, but the server offers none of HASH, XSHA256, XSHA1 and XMD5: files "
      "are verified by their size"},
     ExitCode::Done},
    {"hash_offered_says_nothing", HashWanted.c_str(), "", {"a.txt", "b.txt"}, {}, {}, ExitCode::Done,
     {QStringLiteral("--hash"), QStringLiteral("x")}},
    {"short_password_echoed_masked", ShortPassword.c_str(), "", {"a.txt"}, {},
     {"quelmo: error: [site] @S: 530 Login with password ******** failed (test)."}, ExitCode::NotConnected,
     {QStringLiteral("--echo-password")}},
    {"endless_greeting_given_up", Clean.c_str(), "", {}, {},
     {"quelmo: error: [site] @S: InternetConnect error code: 12002 Message: The operation timed out"},
     ExitCode::NotConnected, {QStringLiteral("--endless-120")}},
    {"names_that_cannot_be_sent_skipped", Unsendable.c_str(), "", {"a\nb.txt", "c\rd.txt", "ok.txt"}, {},
     {"quelmo: error: [site] @S: @L/a b.txt -> /a b.txt: skipped: the name holds a line break or a NUL, which "
      "cannot be sent to the server",
      "quelmo: error: [site] @S: @L/c d.txt -> /c d.txt: skipped: the name holds a line break or a NUL, which "
      "cannot be sent to the server"},
     ExitCode::WorkedAround},
    {"final_failure", Clean.c_str(), "", {"a.txt"}, {},
     {"quelmo: error: [site] @S: @L/a.txt -> /a.txt: 550 Refused by test."}, ExitCode::FileFailed,
     {QStringLiteral("--refuse-stor"), QStringLiteral("3")}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Jobs, JobReport, ::testing::ValuesIn(reportCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(JobTest, UnwritableLogIsOneLinePerFile)
{
    startServer();
    writeSettings(QStringLiteral("prenos1=*.txt\n"));
    load();
    writeLocal(QStringLiteral("a.txt"), "a");
    writeLocal(QStringLiteral("b.txt"), "b");
    QDir(workDir.path()).mkdir(QStringLiteral("VANTREL.log"));

    EXPECT_EQ(run([&] { form->Form_Activate(); }), ExitCode::WorkedAround);
    ASSERT_EQ(desktop.diagnostics.size(), 2) << desktop.diagnostics.join(QLatin1Char('\n')).toStdString();
    const QStringList names{QStringLiteral("a.txt"), QStringLiteral("b.txt")};
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString prefix = QStringLiteral("quelmo: error: [site] %1: %2 -> /%3: not written to the log %4: ")
                                   .arg(server.address(), localFile(names[i]), names[i],
                                        workDir.filePath(QStringLiteral("VANTREL.log")));
        EXPECT_TRUE(desktop.diagnostics[i].startsWith(prefix)) << desktop.diagnostics[i].toStdString();
        EXPECT_GT(desktop.diagnostics[i].size(), prefix.size()) << "the reason follows";
    }
}

} // namespace
