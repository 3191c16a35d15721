#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ftp/cftp.h"
#include "support/fakedesktop.h"
#include "support/paramnames.h"
#include "support/frmaccess.h"
#include "support/qtprint.h"
#include "window/frmupdate.h"

namespace {

using A = FrmUpdateTestAccess;

struct LoadCase
{
    const char *name;
    const char *ini; // nullptr: no settings file at all
    const char *url;
    const char *dir;
    const char *ldir; // "@" stands for the program directory
    const char *user;
    const char *password;
    const char *section;
};

class FormLoadTable : public ::testing::TestWithParam<LoadCase>
{};

TEST_P(FormLoadTable, ReadsTheSelectedSiteWithLoadDefaults)
{
    const LoadCase &c = GetParam();
    QTemporaryDir programDir;
    if (c.ini) {
        QFile file(programDir.filePath(QStringLiteral("quelmo.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.ini);
    }
    FakeDesktop desktop;
    desktop.programDir = programDir.path();

    FrmUpdate form(desktop);
    form.Form_Load();

    const QString here = programDir.path();
    auto expand = [&](const char *text) { return QString::fromUtf8(text).replace(QStringLiteral("@"), here); };
    EXPECT_EQ(A::iniFile(form), here + QStringLiteral("/quelmo.ini"));
    EXPECT_EQ(A::section(form), expand(c.section));
    EXPECT_EQ(form.textURL->text(), expand(c.url));
    EXPECT_EQ(form.textDIR->text(), expand(c.dir));
    EXPECT_EQ(form.textLDIR->text(), expand(c.ldir));
    EXPECT_EQ(A::user(form), expand(c.user));
    EXPECT_EQ(A::password(form), expand(c.password));
    EXPECT_TRUE(A::firstActivate(form));
    ASSERT_NE(form.ftp(), nullptr);
    EXPECT_EQ(form.ftp()->transferType(), cFTP::FTP_TRANSFER_TYPE_BINARY);
    EXPECT_EQ(form.ftp()->connectFlags(), 0);
    EXPECT_FALSE(form.ftp()->isConnected());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Sites, FormLoadTable,
    ::testing::Values(
        LoadCase{"no_file", nullptr, "127.0.0.1", "", "@/", "quelmo", "zelkar", ""},
        LoadCase{"no_selection", "[PROGRAM]\nother=1\n[site]\nFTPURL=ftp.example.org\n", "127.0.0.1", "",
                 "@/", "quelmo", "zelkar", ""},
        LoadCase{"all_blank",
                 "[PROGRAM]\nIZBRANO=site\n[site]\nFTPURL=\nftpdir= \nlocaldir=\nuporabnik=\ngeslo=\n",
                 "127.0.0.1", "", "@/", "quelmo", "zelkar", "site"},
        LoadCase{"all_present",
                 "[program]\nizbrano=Site\n[SITE]\nFTPURL=ftp.example.org:2121\nftpdir=/out/\n"
                 "localdir=/srv/in/\nuporabnik=janez\ngeslo=skrivnost\n",
                 "ftp.example.org:2121", "/out/", "/srv/in/", "janez", "skrivnost", "Site"},
        LoadCase{"tab_is_blank", "[PROGRAM]\nIZBRANO=s\n[s]\nuporabnik=\"\tx\"\nlocaldir=\"\t\"\n",
                 "127.0.0.1", "", "@/", "quelmo", "zelkar", "s"},
        LoadCase{"leading_blank_is_present", "[PROGRAM]\nIZBRANO=s\n[s]\nuporabnik=\" x\"\n", "127.0.0.1",
                 "", "@/", " x", "zelkar", "s"},
        LoadCase{"section_missing", "[PROGRAM]\nIZBRANO=gone\n", "127.0.0.1", "", "@/", "quelmo", "zelkar",
                 "gone"}),
    ByRowName());
// clang-format on

} // namespace
