#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QString>

#include <gtest/gtest.h>

#include "platform/inet/listing.h"
#include "support/qtprint.h"

using inet::RemoteEntry;

namespace {

// One sample line and what it must turn into; parses == false means "no entry".
struct LineCase
{
    const char *line;
    bool parses;
    const char *name = "";
    qint64 size = -1;
    bool isDirectory = false;
    bool isSymlink = false;
};

LineCase entry(const char *line, const char *name, qint64 size, bool dir = false, bool link = false)
{
    return LineCase{line, true, name, size, dir, link};
}

LineCase noEntry(const char *line)
{
    return LineCase{line, false};
}

void PrintTo(const LineCase &c, std::ostream *os)
{
    *os << '"' << c.line << '"';
}

void expectLine(const LineCase &c, const std::optional<RemoteEntry> &got)
{
    if (!c.parses) {
        EXPECT_FALSE(got.has_value()) << "unexpected entry named " << got->name.toStdString();
        return;
    }
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->name, QString::fromUtf8(c.name));
    EXPECT_EQ(got->size, c.size);
    EXPECT_EQ(got->isDirectory, c.isDirectory);
    EXPECT_EQ(got->isSymlink, c.isSymlink);
}

// ---- Unix ------------------------------------------------------------------

class UnixLineTable : public ::testing::TestWithParam<LineCase>
{};

TEST_P(UnixLineTable, Parses)
{
    expectLine(GetParam(), inet::parseUnixListLine(QString::fromUtf8(GetParam().line)));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Samples, UnixLineTable,
    ::testing::Values(
        entry("-rw-r--r--   1 owner group   1000 Dec  7 09:41 a.txt", "a.txt", 1000),
        entry("drwxr-xr-x 2 o g 4096 Jan 1 2025 sub", "sub", 4096, true),
        entry("drwxr-xr-x 2 o g 4096 Jan  1  2025 sub", "sub", 4096, true),
        entry("lrwxrwxrwx 1 o g 7 Dec 7 09:41 link -> target", "link", 7, false, true),
        entry("lrwxrwxrwx 1 o g 7 Dec 7 09:41 link", "link", 7, false, true),
        // Only links carry a target; for a file the arrow is part of the name.
        entry("-rw-r--r-- 1 o g 3 Dec 7 09:41 a -> b", "a -> b", 3),
        entry("-rw-r--r-- 1 owner 1000 Dec 7 09:41 a.txt", "a.txt", 1000),
        entry("-rw-r--r-- 1000 Dec 7 09:41 a.txt", "a.txt", 1000),
        entry("-rw-r--r-- 1 1000 1000 1000 Dec 7 09:41 a.txt", "a.txt", 1000),
        // A group that reads like a month must not be taken for the date.
        entry("-rw-r--r-- 1 owner Mar 1000 Dec 7 09:41 a.txt", "a.txt", 1000),
        entry("crw-rw---- 1 root tty 4, 1 Dec 7 09:41 tty1", "tty1", -1),
        entry("brw-rw---- 1 root disk 8,0 Dec 7 09:41 sda", "sda", -1),
        entry("prw-r--r-- 1 o g 0 Dec 7 09:41 fifo", "fifo", 0),
        entry("srwxr-xr-x 1 o g 0 Dec 7 09:41 sock", "sock", 0),
        entry("-rw-r--r-- 1 o g 1000 Dec 7 09:41 my file name.txt", "my file name.txt", 1000),
        entry("-rw-r--r-- 1 o g 1000 Dec 7 09:41  leading", " leading", 1000),
        entry("-rw-r--r-- 1 o g 1000 Dec 7 09:41 trailing ", "trailing ", 1000),
        entry("-rw-r--r-- 1 o g 3 Dec 7 09:41 Jan 1 2020 notes", "Jan 1 2020 notes", 3),
        entry("-rw-r--r-- 1 o g 5368709120 Dec 7 09:41 big.iso", "big.iso", 5368709120LL),
        entry("-rw-r--r-- 1 o g 9223372036854775807 Dec 7 09:41 max", "max", 9223372036854775807LL),
        noEntry("-rw-r--r-- 1 o g 9223372036854775808 Dec 7 09:41 over"),
        noEntry("-rw-r--r-- 1 o g 99999999999999999999999 Dec 7 09:41 huge"),
        entry("-rw-r--r--+ 1 o g 10 Dec 7 09:41 acl", "acl", 10),
        entry("-rw-r--r--@ 1 o g 10 Dec 7 09:41 xattr", "xattr", 10),
        entry("-rw-r--r--. 1 o g 10 Dec 7 09:41 selinux", "selinux", 10),
        entry("-rwsr-xr-T 1 o g 10 Dec 7 09:41 sticky", "sticky", 10),
        entry("-rw-r--r-- 1 o g 10 DEC 7 09:41 upper", "upper", 10),
        entry("-rw-r--r-- 1 o g 10 Dec 7 9:41 short", "short", 10),
        entry("-rw-r--r-- 1 o g 10 Dec 7 09:41:05 seconds", "seconds", 10),
        entry("-rw-r--r-- 1 o g 10 Dec 7 09:41 a.txt\r\n", "a.txt", 10),
        entry("drwxr-xr-x 2 o g 4096 Dec 7 09:41 .", ".", 4096, true),
        entry("drwxr-xr-x 2 o g 4096 Dec 7 09:41 ..", "..", 4096, true),
        entry("-rw-r--r-- 1 o g 3 Dec 7 09:41 dir/file", "dir/file", 3),
        entry("-rw-r--r-- 1 o g 3 Dec 7 09:41 \xc4\x8d\xc5\xa1\xc5\xbe.txt", "\xc4\x8d\xc5\xa1\xc5\xbe.txt", 3),
        noEntry("-rw-r--r-- 1 o g 3 Dec 7 09:41"),
        noEntry("-rw-r--r-- 1 o g 3 Dec 7 09:41 "),
        noEntry("lrwxrwxrwx 1 o g 7 Dec 7 09:41  -> target"),
        noEntry("-rw-r--r-- 1 o g 3 Dec 32 09:41 badday"),
        noEntry("-rw-r--r-- 1 o g 3 Dec 7 25:41 badtime"),
        noEntry("-rw-r--r-- 1 o g 3 Foo 7 09:41 badmonth"),
        noEntry("-rw-r--r-- 1 o g 3x Dec 7 09:41 badsize"),
        noEntry("xrw-r--r-- 1 o g 3 Dec 7 09:41 badtype"),
        noEntry("-rw-r--r-Q 1 o g 3 Dec 7 09:41 badmode"),
        noEntry("total 12"),
        noEntry(""),
        noEntry("12-07-26  09:41AM       1000 a.txt")));
// clang-format on

// ---- DOS / IIS -------------------------------------------------------------

class DosLineTable : public ::testing::TestWithParam<LineCase>
{};

TEST_P(DosLineTable, Parses)
{
    expectLine(GetParam(), inet::parseDosListLine(QString::fromUtf8(GetParam().line)));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Samples, DosLineTable,
    ::testing::Values(
        entry("12-07-26  09:41AM       <DIR>          sub", "sub", -1, true),
        entry("12-07-26  09:41PM                 1000 a b.txt", "a b.txt", 1000),
        entry("12-07-2026  21:41       1000 a.txt", "a.txt", 1000),
        entry("12-07-2026  09:41 PM       1000 spaced", "spaced", 1000),
        entry("12/07/2026  09:41       1000 slashes", "slashes", 1000),
        entry("12-07-26  09:41am       <dir>          lower", "lower", -1, true),
        entry("12-07-26  09:41AM       5368709120 big.iso", "big.iso", 5368709120LL),
        entry("12-07-26  09:41AM       <DIR>          .", ".", -1, true),
        entry("12-07-26  09:41AM       <DIR>          ..", "..", -1, true),
        entry("12-07-26  09:41AM       10 a.txt\r", "a.txt", 10),
        entry("12-07-26  09:41AM       10 dir/file", "dir/file", 10),
        noEntry("12-07-26  09:41AM       99999999999999999999 huge"),
        noEntry("12-07-26  09:41AM       1000"),
        noEntry("12-07-26  09:41AM       1000   "),
        noEntry("12-07-26  09:41AM       <DIR>"),
        noEntry("12-07-26  09:41AM       12k a.txt"),
        noEntry("12-07-26  29:41       1000 a.txt"),
        noEntry("12-07-2  09:41AM       1000 a.txt"),
        noEntry("12-07/26  09:41AM       1000 a.txt"),
        noEntry("12-07-26  0941AM       1000 a.txt"),
        noEntry("-rw-r--r-- 1 o g 1000 Dec 7 09:41 a.txt"),
        noEntry("total 12"),
        noEntry("")));
// clang-format on

// ---- MLSD ------------------------------------------------------------------

class MlsdLineTable : public ::testing::TestWithParam<LineCase>
{};

TEST_P(MlsdLineTable, Parses)
{
    expectLine(GetParam(), inet::parseMlsdLine(QString::fromUtf8(GetParam().line)));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Samples, MlsdLineTable,
    ::testing::Values(
        entry("type=file;size=1000;modify=20261207094105;perm=adfr; a.txt", "a.txt", 1000),
        entry("Type=DIR;Modify=20261207094105; sub", "sub", -1, true),
        entry("SIZE=10;TYPE=FILE; upper", "upper", 10),
        entry("type=dir;sizd=4096; sized", "sized", 4096, true),
        entry("type=cdir;sizd=4096; .", ".", 4096, true),
        entry("type=pdir; ..", "..", -1, true),
        // Whatever path the server puts on cdir/pdir, the caller must be able to drop it.
        entry("type=cdir; /home/user", ".", -1, true),
        entry("type=pdir; /home", "..", -1, true),
        entry("type=OS.unix=symlink;size=7; link", "link", 7, false, true),
        entry("type=OS.unix=slink:/target; slink", "slink", -1, false, true),
        entry("type=OS.unix=blkdev; dev", "dev", -1),
        entry("type=file;modify=20261207094105; nosize", "nosize", -1),
        entry("type=file;size=1000; a b.txt", "a b.txt", 1000),
        entry("type=file;size=1000;  lead", " lead", 1000),
        entry("type=file;size=1000; semi; colon", "semi; colon", 1000),
        entry("type=file;size=5368709120; big.iso", "big.iso", 5368709120LL),
        entry("type=file;size=1; dir/file", "dir/file", 1),
        entry("type=file;size=1; a.txt\r\n", "a.txt", 1),
        entry("type=file;;size=2; emptyfact", "emptyfact", 2),
        entry(" bare", "bare", -1),
        noEntry("type=file;size=99999999999999999999; huge"),
        noEntry("type=file;size=12x; x"),
        noEntry("type=file;size=; x"),
        noEntry("type=file;size=1;"),
        noEntry("type=file;size=1; "),
        noEntry("type=file;size=1 a"),
        noEntry("type=file;=x; a"),
        noEntry("hello world"),
        noEntry("-rw-r--r-- 1 o g 1000 Dec 7 09:41 a.txt"),
        noEntry("")));
// clang-format on

// ---- LIST dispatch ---------------------------------------------------------

class ListLineTable : public ::testing::TestWithParam<LineCase>
{};

TEST_P(ListLineTable, Parses)
{
    expectLine(GetParam(), inet::parseListLine(QString::fromUtf8(GetParam().line)));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Samples, ListLineTable,
    ::testing::Values(entry("-rw-r--r-- 1 o g 1000 Dec 7 09:41 unix.txt", "unix.txt", 1000),
                      entry("12-07-26  09:41AM       <DIR>          dos", "dos", -1, true),
                      noEntry("type=file;size=1000; mlsd.txt"), noEntry("total 12")));
// clang-format on

// ---- whole bodies ----------------------------------------------------------

TEST(ParseListing, SkipsWhatIsNotAnEntry)
{
    const QString body = QStringLiteral("total 12\r\n"
                                        "drwxr-xr-x 2 o g 4096 Dec 7 09:41 .\r\n"
                                        "\r\n"
                                        "-rw-r--r-- 1 o g 1000 Dec 7 09:41 a b.txt\r\n"
                                        "\x01\x02 garbage \xff\r\n"
                                        "\n"
                                        "lrwxrwxrwx 1 o g 7 Dec 7 09:41 link -> target\n"
                                        "12-07-26  09:41AM       <DIR>          dos dir\r\n"
                                        "-rw-r--r-- 1 o g 5368709120 Jan 1 2025 last");
    const QList<RemoteEntry> entries = inet::parseListing(body, false);
    ASSERT_EQ(entries.size(), 5);
    EXPECT_EQ(entries[0].name, QStringLiteral("."));
    EXPECT_EQ(entries[1].name, QStringLiteral("a b.txt"));
    EXPECT_EQ(entries[1].size, 1000);
    EXPECT_EQ(entries[2].name, QStringLiteral("link"));
    EXPECT_TRUE(entries[2].isSymlink);
    EXPECT_EQ(entries[3].name, QStringLiteral("dos dir"));
    EXPECT_TRUE(entries[3].isDirectory);
    EXPECT_EQ(entries[4].name, QStringLiteral("last"));
    EXPECT_EQ(entries[4].size, 5368709120LL);
}

TEST(ParseListing, MlsdBody)
{
    const QString body = QStringLiteral("type=cdir;sizd=4096; .\r\n"
                                        "type=pdir;sizd=4096; ..\r\n"
                                        "type=file;size=3; a.txt\r\n"
                                        "garbage\r\n"
                                        "\r\n"
                                        "type=dir; sub\r\n");
    const QList<RemoteEntry> entries = inet::parseListing(body, true);
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries[0].name, QStringLiteral("."));
    EXPECT_EQ(entries[1].name, QStringLiteral(".."));
    EXPECT_EQ(entries[2].name, QStringLiteral("a.txt"));
    EXPECT_EQ(entries[2].size, 3);
    EXPECT_EQ(entries[3].name, QStringLiteral("sub"));
    EXPECT_TRUE(entries[3].isDirectory);
}

TEST(ParseListing, MlsdFlagSelectsTheParser)
{
    const QString unixLine = QStringLiteral("-rw-r--r-- 1 o g 1 Dec 7 09:41 a\r\n");
    EXPECT_EQ(inet::parseListing(unixLine, false).size(), 1);
    EXPECT_TRUE(inet::parseListing(unixLine, true).isEmpty());
}

// ---- hostile input ---------------------------------------------------------

TEST(HostileListing, LongNameSurvivesWhole)
{
    const QString name(1 << 20, u'n');
    const auto unixEntry = inet::parseUnixListLine(QStringLiteral("-rw-r--r-- 1 o g 1 Dec 7 09:41 ") + name);
    ASSERT_TRUE(unixEntry.has_value());
    EXPECT_EQ(unixEntry->name.size(), name.size());
    const auto mlsdEntry = inet::parseMlsdLine(QStringLiteral("type=file;size=1; ") + name);
    ASSERT_TRUE(mlsdEntry.has_value());
    EXPECT_EQ(mlsdEntry->name.size(), name.size());
}

TEST(HostileListing, OverlongLinesWithoutDateFinishQuickly)
{
    QString tokens = QStringLiteral("-rw-r--r--");
    for (int i = 0; i < 200000; ++i)
        tokens += QStringLiteral(" Dec 7");
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(inet::parseListLine(tokens).has_value());
    EXPECT_FALSE(inet::parseMlsdLine(QString(1 << 20, u';')).has_value());
    EXPECT_FALSE(inet::parseListLine(QString(1 << 20, u' ')).has_value());
    EXPECT_LT(timer.elapsed(), 2000);
}

TEST(HostileListing, RandomBytesYieldOnlyNamedEntries)
{
    // Mostly checks that nothing crashes (run under the sanitizers); what
    // does come back must still have a name.
    QRandomGenerator random(12345);
    const QString alphabet = QStringLiteral("-dlrwx 0123456789:;=<>DIRAMPDecJan\r\n\t\x01\xff");
    for (int round = 0; round < 2000; ++round) {
        QString body;
        const int length = random.bounded(200);
        for (int i = 0; i < length; ++i) {
            if (random.bounded(4) == 0)
                body += QChar(char16_t(random.bounded(0x10000)));
            else
                body += alphabet[random.bounded(alphabet.size())];
        }
        for (bool mlsd : {false, true}) {
            for (const RemoteEntry &e : inet::parseListing(body, mlsd))
                EXPECT_FALSE(e.name.isEmpty()) << body.toStdString();
        }
    }
}

// ---- wildcards -------------------------------------------------------------

struct MatchCase
{
    const char *pattern;
    const char *name;
    bool matches;
};

void PrintTo(const MatchCase &c, std::ostream *os)
{
    *os << '"' << c.pattern << "\" vs \"" << c.name << '"';
}

class WildcardTable : public ::testing::TestWithParam<MatchCase>
{};

TEST_P(WildcardTable, Matches)
{
    const MatchCase &c = GetParam();
    EXPECT_EQ(inet::wildcardMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.matches);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Patterns, WildcardTable,
    ::testing::Values(MatchCase{"*", "anything", true}, MatchCase{"*", "", true}, MatchCase{"**", "", true},
                      MatchCase{"", "", true}, MatchCase{"", "a", false}, MatchCase{"?", "", false},
                      MatchCase{"?", "a", true}, MatchCase{"?", "ab", false}, MatchCase{"*.zip", "a.zip", true},
                      MatchCase{"*.zip", ".zip", true}, MatchCase{"*.zip", "a.zip.bak", false},
                      MatchCase{"*.zip", "zip", false}, MatchCase{"*.zip", "a.zip.zip", true},
                      MatchCase{"a?c", "abc", true}, MatchCase{"a?c", "ac", false}, MatchCase{"a?c", "abbc", false},
                      MatchCase{"*a*b*", "xaybz", true}, MatchCase{"*a*b*", "ab", true},
                      MatchCase{"*a*b*", "ba", false}, MatchCase{"a*", "a", true}, MatchCase{"*a", "ba", true},
                      MatchCase{"*a", "ab", false}, MatchCase{"*x*", "", false},
                      MatchCase{"a*b*c", "aXbYbZc", true}, MatchCase{"a*b*c", "aXbYbZ", false},
                      MatchCase{"a.txt", "a.txt", true}, MatchCase{"a.txt", "aXtxt", false},
                      MatchCase{"*.TXT", "a.txt", false}, MatchCase{"A*", "abc", false},
                      MatchCase{"[ab]", "a", false}, MatchCase{"[ab]", "[ab]", true},
                      MatchCase{"a\\*", "a\\bc", true}, MatchCase{"a\\?", "a?", false},
                      MatchCase{"\xc4\x8d?", "\xc4\x8d\xc5\xa1", true},
                      // One character outside the BMP is one character to '?'.
                      MatchCase{"?", "\xf0\x9f\x98\x80", true}, MatchCase{"??", "\xf0\x9f\x98\x80", false},
                      MatchCase{"a?b", "a\xf0\x9f\x98\x80" "b", true},
                      MatchCase{"*?", "\xf0\x9f\x98\x80", true},
                      MatchCase{"*??", "x\xf0\x9f\x98\x80", true},
                      MatchCase{"*???", "x\xf0\x9f\x98\x80", false}));
// clang-format on

TEST(Wildcard, PathologicalPatternFinishesFast)
{
    const QString as(10000, u'a');
    const QString pattern = QStringLiteral("*a*a*a*a*a*a*a*b");
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(inet::wildcardMatch(pattern, as));
    EXPECT_TRUE(inet::wildcardMatch(pattern, as + u'b'));
    EXPECT_LT(timer.elapsed(), 1000);
}

struct HasWildcardCase
{
    const char *pattern;
    bool has;
};

// The case is its own name in ctest, as in the tables above.
void PrintTo(const HasWildcardCase &c, std::ostream *os)
{
    *os << '"' << c.pattern << (c.has ? "\" has a wildcard" : "\" has none");
}

class HasWildcardTable : public ::testing::TestWithParam<HasWildcardCase>
{};

TEST_P(HasWildcardTable, Detects)
{
    EXPECT_EQ(inet::hasWildcard(QString::fromUtf8(GetParam().pattern)), GetParam().has) << GetParam().pattern;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Patterns, HasWildcardTable,
    ::testing::Values(
        HasWildcardCase{"*",         true},
        HasWildcardCase{"a?c",       true},
        HasWildcardCase{"dir/*.zip", true},
        HasWildcardCase{"a.txt",     false},
        HasWildcardCase{"[x]",       false},
        HasWildcardCase{"",          false}));
// clang-format on

} // namespace
