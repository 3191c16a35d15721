#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

#include "platform/blanks.h"
#include "platform/profile.h"
#include "support/paramnames.h"
#include "support/qtprint.h"
#include "settings/settings.h"

namespace {

// ---- list tokens ----------------------------------------------------------

struct TokenCase
{
    const char *name;
    const char *before;
    const char *token;
    const char *after;
};

void PrintTo(const TokenCase &c, std::ostream *os)
{
    *os << c.name << " \"" << c.before << '"';
}

class NextTokenTable : public ::testing::TestWithParam<TokenCase>
{};

TEST_P(NextTokenTable, CutsOneToken)
{
    const TokenCase &c = GetParam();
    QString list = QString::fromUtf8(c.before);
    EXPECT_EQ(NextToken(list).toStdString(), c.token) << "list: " << c.before;
    EXPECT_EQ(list.toStdString(), c.after) << "list: " << c.before;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Lists, NextTokenTable,
    ::testing::Values(
        TokenCase{"CommaEndsTheToken",             "a,b,c",     "a",    "b,c"},
        TokenCase{"SemicolonEndsTheList",          "a;b,c",     "a",    ""},
        TokenCase{"TokenKeepsBlanksRestLosesThem", "a ,  b",    "a ",   "b"},
        TokenCase{"LeadingBlankStaysInTheToken",   " a,b",      " a",   "b"},
        TokenCase{"TrailingComma",                 "a,",        "a",    ""},
        TokenCase{"LeadingCommaGivesEmptyToken",   ",a",        "",     "a"},
        TokenCase{"DoubledCommaKeepsTheSecond",    "a,,b",      "a",    ",b"},
        TokenCase{"LeadingCommaBeforeB",           ",b",        "",     "b"},
        TokenCase{"DoubleQuotesHideAComma",        "\"a,b\",c", "a,b",  "c"},
        TokenCase{"SingleQuotesHideASemicolon",    "'x;y';z",   "x;y",  ""},
        TokenCase{"Char1StandsForAQuote",          "a\001b",    "a\"b", ""},
        TokenCase{"UnclosedQuoteRunsToTheEnd",     "\"x,y",     "x,y",  ""},
        TokenCase{"EmptyList",                     "",          "",     ""},
        TokenCase{"CommaAlone",                    ",",         "",     ""},
        TokenCase{"SemicolonAlone",                ";",         "",     ""},
        TokenCase{"SemicolonAfterBlanksStays",     "a, ;b",     "a",    ";b"},
        TokenCase{"SemicolonFirstEndsAll",         ";b",        "",     ""},
        // one quote character closes what the other opened
        TokenCase{"EitherQuoteClosesTheOther",     "\"a,b',c",  "a,b",  "c"},
        // only blanks are trimmed off the rest, not tabs
        TokenCase{"TabIsNotTrimmed",               "a,\tb",     "a",    "\tb"}),
    ByRowName());
// clang-format on

TEST(NextToken, TokenOfAnyLengthIsCut)
{
    const QString longToken(100000, QLatin1Char('x'));
    QString list = longToken + QStringLiteral(",rest");
    EXPECT_EQ(NextToken(list), longToken);
    EXPECT_EQ(list, QStringLiteral("rest"));
}

// ---- blank and present ----------------------------------------------------

TEST(Blank, OrdinalRuleAgainstOneSpace)
{
    struct
    {
        QString text;
        bool blank;
    } const cases[] = {
        {QString(), true},
        {QStringLiteral(""), true},
        {QStringLiteral(" "), true},
        {QStringLiteral("\tx"), true},
        {QString(QChar(1)) + QStringLiteral("abc"), true},
        {QStringLiteral(" x"), false},
        {QStringLiteral("  "), false},
        {QStringLiteral("!"), false},
        {QStringLiteral("x"), false},
        {QStringLiteral("čšž"), false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(isBlank(c.text), c.blank) << c.text.toStdString();
        EXPECT_EQ(isPresent(c.text), !c.blank) << c.text.toStdString();
    }
}

// Paths and the command line lose their blanks at both ends and nothing
// else: a tab or a line break is part of what was given.
TEST(Blank, StrippingTakesBlanksOnly)
{
    const struct
    {
        const char *text;
        const char *stripped;
    } cases[] = {
        {"", ""},           {"   ", ""},           {"  a b  ", "a b"},     {"a", "a"},
        {"\ta\t", "\ta\t"}, {" \ta \n", "\ta \n"}, {"\u00a0a", "\u00a0a"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(stripBlanks(QString::fromUtf8(c.text)).toStdString(), c.stripped) << c.text;
}

// ---- reading settings -----------------------------------------------------

class ReadSettingTest : public ::testing::Test
{
protected:
    QString write(const QByteArray &bytes)
    {
        const QString path = dir.filePath(QStringLiteral("quelmo.ini"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    QString read(const char *section, const char *key, const QString &path)
    {
        return ReadSetting(QString::fromUtf8(section), QString::fromUtf8(key), path);
    }

    QTemporaryDir dir;
};

TEST_F(ReadSettingTest, MissingFileSectionOrKeyReadsEmpty)
{
    const QString path = write("[site]\nFTPURL=host\n");
    EXPECT_EQ(read("site", "FTPURL", dir.filePath(QStringLiteral("nothing.ini"))), QString());
    EXPECT_EQ(read("other", "FTPURL", path), QString());
    EXPECT_EQ(read("site", "ftpdir", path), QString());
    EXPECT_EQ(read("", "FTPURL", path), QString());
    EXPECT_EQ(read("site", "FTPURL", path), QStringLiteral("host"));
}

TEST_F(ReadSettingTest, ValueRules)
{
    const QString path = write("; a comment line\r\n"
                               "  [ Site ]  \r\n"
                               "ftpurl = ftp.example.org  \r\n"
                               "quoted=\"  two blanks kept  \"\r\n"
                               "single='x'\r\n"
                               "mixed=\"x'\r\n"
                               "inner=a \"b\" c\r\n"
                               ";commented=yes\r\n"
                               "empty=\r\n"
                               "equals=a=b\r\n"
                               "no equals sign here\r\n"
                               "twice=first\r\n"
                               "twice=second\r\n"
                               "[site]\r\n"
                               "later=not seen\r\n"
                               "[other]\r\n"
                               "key=other\r\n");
    struct
    {
        const char *section;
        const char *key;
        const char *value;
    } const cases[] = {
        {"SITE", "FTPURL", "ftp.example.org"},
        {"site", "quoted", "  two blanks kept  "},
        {"site", "single", "x"},
        {"site", "mixed", "\"x'"},
        {"site", "inner", "a \"b\" c"},
        {"site", "commented", ""},
        {"site", "empty", ""},
        {"site", "equals", "a=b"},
        {"site", "twice", "first"},
        {"site", "later", ""},
        {"Other", "KEY", "other"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(read(c.section, c.key, path).toStdString(), c.value) << c.section << "/" << c.key;
}

TEST_F(ReadSettingTest, LongValuesAreCutTo254Characters)
{
    const QByteArray value(300, 'v');
    const QString path = write("[s]\nk=" + value + "\nexact=" + QByteArray(254, 'e') + "\n");
    EXPECT_EQ(read("s", "k", path), QString(254, QLatin1Char('v')));
    EXPECT_EQ(read("s", "exact", path), QString(254, QLatin1Char('e')));
}

TEST_F(ReadSettingTest, Encodings)
{
    const QString expected = QStringLiteral("Prenešeno čž");
    struct
    {
        const char *name;
        QByteArray bytes;
    } const cases[] = {
        {"plain UTF-8", QStringLiteral("[s]\nk=Prenešeno čž\n").toUtf8()},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + QStringLiteral("[s]\nk=Prenešeno čž\n").toUtf8()},
        {"windows-1250", QByteArray("[s]\nk=Prene\x9a"
                                    "eno \xe8\x9e\n")},
        {"UTF-16LE with BOM",
         [] {
             const QString text = QStringLiteral("[s]\r\nk=Prenešeno čž\r\n");
             QByteArray bytes("\xFF\xFE");
             for (QChar c : text) {
                 bytes.append(char(c.unicode() & 0xFF));
                 bytes.append(char(c.unicode() >> 8));
             }
             return bytes;
         }()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(read("s", "k", write(c.bytes)), expected) << c.name;
}

} // namespace
