// The rules behind delivery that need no server: which names can move as
// themselves, what a file is called on its way, and how a server's answers
// about hashes are read.

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "ftp/delivery.h"
#include "ftp/names.h"
#include "platform/inet/remotehash.h"
#include "support/paramnames.h"
#include "support/qtprint.h"

namespace {

// ---------------------------------------------------------------- names

struct NameCase
{
    const char *name;
    QString fileName;
    bool writtenLocally;
    names::Problem problem;
};

class NameRules : public ::testing::TestWithParam<NameCase>
{};

TEST_P(NameRules, SayWhatKeepsANameFromMovingAsItself)
{
    const NameCase &c = GetParam();
    QTemporaryDir folder;
    EXPECT_EQ(names::check(c.fileName, folder.filePath(c.fileName), c.writtenLocally), c.problem);
}

using P = names::Problem;

// clang-format off
const NameCase NameCases[] = {
    {"plain", "a.bin", true, P::None},
    {"no_break_space", QStringLiteral("a\u00a0b.bin"), true, P::None},
    {"comma_semicolon_quotes", "x,y;z'q\"r.bin", true, P::None},
    {"leading_and_trailing_blank", " a.bin ", true, P::None},
    {"wildcards", "a*b?.bin", true, P::None},
    {"carriage_return", "a\rb.bin", true, P::LineBreak},
    {"line_feed", "a\nb.bin", false, P::LineBreak},
    {"nul", QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b"), false, P::LineBreak},
    {"dot", ".", true, P::DotName},
    {"dot_dot", "..", false, P::DotName},
    {"slash", "../up.bin", true, P::Separator},
    {"not_utf8", QString::fromUtf8("bad\xff.bin"), true, P::NotEncodable},
    {"lone_surrogate", QString(QChar(0xd800)) + QStringLiteral(".bin"), false, P::NotEncodable},
    {"255_bytes_fit", QString(255, QLatin1Char('n')), true, P::None},
    {"256_bytes_do_not", QString(256, QLatin1Char('n')), true, P::TooLong},
    {"5000_bytes", QString(5000, QLatin1Char('n')), true, P::TooLong},
    {"long_but_read_not_written", QString(5000, QLatin1Char('n')), false, P::None},
    {"128_two_byte_letters", QString(128, QChar(0x017e)), true, P::TooLong},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Names, NameRules, ::testing::ValuesIn(NameCases), ByRowName());

TEST(NameRules, PathsLieInTheFolderOfTheirPrefix)
{
    EXPECT_TRUE(names::liesIn(QStringLiteral("/srv/in/"), QStringLiteral("/srv/in/a.bin")));
    EXPECT_TRUE(names::liesIn(QStringLiteral("/srv/in/pre_"), QStringLiteral("/srv/in/pre_a.bin")));
    EXPECT_FALSE(names::liesIn(QStringLiteral("/srv/in/"), QStringLiteral("/srv/in/../a.bin")));
    EXPECT_FALSE(names::liesIn(QStringLiteral("/srv/in/"), QStringLiteral("/srv/in/sub/a.bin")));
}

// ---------------------------------------------------------------- temporary names

TEST(TemporaryPath, IsTheNameHiddenWithPartInTheSameFolder)
{
    EXPECT_EQ(delivery::temporaryPath(QStringLiteral("/srv/in/a.zip")), QStringLiteral("/srv/in/.a.zip.part"));
    EXPECT_EQ(delivery::temporaryPath(QStringLiteral("a.zip")), QStringLiteral(".a.zip.part"));
    EXPECT_EQ(delivery::temporaryPath(QStringLiteral("/out/ a b.zip")), QStringLiteral("/out/. a b.zip.part"));
}

TEST(TemporaryPath, OfALongNameStillFitsAndStaysItsOwn)
{
    const QString start(240, QChar(0x017e)); // 480 bytes of UTF-8
    const QString one = delivery::temporaryPath(QStringLiteral("/in/") + start + QStringLiteral("1.bin"));
    const QString two = delivery::temporaryPath(QStringLiteral("/in/") + start + QStringLiteral("2.bin"));
    for (const QString &path : {one, two}) {
        const QString name = path.mid(4);
        EXPECT_LE(name.toUtf8().size(), 255) << name.toStdString();
        EXPECT_TRUE(name.startsWith(QStringLiteral(".") + start.left(100))) << "a person still recognises it";
        EXPECT_TRUE(name.endsWith(QStringLiteral(".part")));
        EXPECT_EQ(QString::fromUtf8(name.toUtf8()), name) << "no letter is cut in half";
    }
    EXPECT_NE(one, two);
}

// ---------------------------------------------------------------- hashes

using inet::HashAlgorithm;
using inet::HashMethod;

TEST(HashFeature, ListsOursStrongestFirstAndTheCurrentOne)
{
    const QString feat
        = QStringLiteral("211-Features:\r\n MDTM\r\n HASH MD5;SHA-1*;SHA-256;CRC32\r\n SIZE\r\n211 End\r\n");
    const auto feature = inet::parseHashFeature(feat);
    ASSERT_TRUE(feature);
    EXPECT_EQ(feature->offered, (QList<HashAlgorithm>{HashAlgorithm::Sha256, HashAlgorithm::Sha1, HashAlgorithm::Md5}));
    EXPECT_EQ(feature->current, HashAlgorithm::Sha1);

    EXPECT_FALSE(inet::parseHashFeature(QStringLiteral("211-Features:\r\n SIZE\r\n211 End\r\n")));
    EXPECT_FALSE(inet::parseHashFeature(QStringLiteral("211-Features:\r\n HASH CRC32*\r\n211 End\r\n")))
        << "none of ours";
    EXPECT_EQ(inet::listedXCommands(QStringLiteral("211-F:\r\n XMD5\r\n XSHA1\r\n211 End\r\n")),
              (QList<HashAlgorithm>{HashAlgorithm::Sha1, HashAlgorithm::Md5}));
}

struct ReplyCase
{
    const char *name;
    HashMethod method;
    int code;
    const char *text;
    const char *hex; // "" when the reply holds none
};

class HashReply : public ::testing::TestWithParam<ReplyCase>
{};

TEST_P(HashReply, GivesTheHexDigits)
{
    const ReplyCase &c = GetParam();
    const auto hex = inet::parseHashReply({c.code, QString::fromUtf8(c.text)}, c.method);
    EXPECT_EQ(hex.value_or(QString()), QString::fromUtf8(c.hex));
}

const HashMethod HashSha256{HashMethod::Command::Hash, HashAlgorithm::Sha256};
const HashMethod XMd5{HashMethod::Command::XCommand, HashAlgorithm::Md5};
const HashMethod XSha1{HashMethod::Command::XCommand, HashAlgorithm::Sha1};
#define SHA256_HEX "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"
#define MD5_HEX "d41d8cd98f00b204e9800998ecf8427e"

// clang-format off
const ReplyCase ReplyCases[] = {
    {"hash", HashSha256, 213, "213 SHA-256 0-0 " SHA256_HEX " /a b.bin\r\n", SHA256_HEX},
    {"hash_upper_case", HashSha256, 213, "213 SHA-256 0-0 E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855 /x\r\n", SHA256_HEX},
    {"hash_of_another_algorithm", HashSha256, 213, "213 SHA-1 0-0 " SHA256_HEX " /x\r\n", ""},
    {"hash_too_short", HashSha256, 213, "213 SHA-256 0-0 " MD5_HEX " /x\r\n", ""},
    {"x_250", XMd5, 250, "250 " MD5_HEX "\r\n", MD5_HEX},
    {"x_213_with_path", XMd5, 213, "213 " MD5_HEX " /x.bin\r\n", MD5_HEX},
    {"x_path_first", XMd5, 250, "250 /x.bin " MD5_HEX "\r\n", MD5_HEX},
    {"x_wrong_length", XSha1, 250, "250 " MD5_HEX "\r\n", ""},
    {"x_not_hex", XMd5, 250, "250 zz1d8cd98f00b204e9800998ecf8427e\r\n", ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Replies, HashReply, ::testing::ValuesIn(ReplyCases), ByRowName());

} // namespace
