// The program's options, the shape of its lines on standard error, and the
// hints for keys it does not read.

#include <gtest/gtest.h>

#include "platform/diagnostics.h"
#include "platform/options.h"
#include "settings/sitekeys.h"
#include "support/qtprint.h"

namespace {

// ---------------------------------------------------------------- options

struct OptionCase
{
    const char *name;
    QStringList arguments;
    Options::Action action;
    const char *settingsFile;
    QStringList rest;
    const char *error = "";
    const char *jsonLogFile = "";
};

void PrintTo(const OptionCase &c, std::ostream *os)
{
    *os << c.name;
}

class OptionTable : public ::testing::TestWithParam<OptionCase>
{};

TEST_P(OptionTable, Parses)
{
    const OptionCase &c = GetParam();
    const Options options = parseOptions(c.arguments);
    EXPECT_EQ(options.action, c.action);
    EXPECT_EQ(options.settingsFile, QString::fromUtf8(c.settingsFile));
    EXPECT_EQ(options.arguments, c.rest);
    EXPECT_EQ(options.error, QString::fromUtf8(c.error));
    EXPECT_EQ(options.jsonLogFile, QString::fromUtf8(c.jsonLogFile));
}

using A = Options::Action;
using L = QStringList;

// clang-format off
const OptionCase optionCases[] = {
    {"none", {}, A::Run, "", {}},
    {"command_only", {"*.zip,DOWN,DEL"}, A::Run, "", {"*.zip,DOWN,DEL"}},
    {"site_and_command", {"site,*.zip", "x"}, A::Run, "", {"site,*.zip", "x"}},
    {"help", {"--help"}, A::Help, "", {}},
    {"short_help", {"-h"}, A::Help, "", {}},
    {"version", {"--version"}, A::Version, "", {}},
    {"short_version", {"-V"}, A::Version, "", {}},
    {"help_wins_over_version", {"-V", "-h"}, A::Help, "", {}},
    {"config", {"--config", "/etc/q/a.ini", "site"}, A::Run, "/etc/q/a.ini", {"site"}},
    {"config_equals", {"--config=a.ini", "x.txt"}, A::Run, "a.ini", {"x.txt"}},
    {"short_config", {"-c", "a.ini"}, A::Run, "a.ini", {}},
    {"config_then_help", {"-c", "a.ini", "--help"}, A::Help, "a.ini", {}},
    {"options_end_at_the_command", {"x.txt", "--help"}, A::Run, "", {"x.txt", "--help"}},
    {"double_dash_ends_options", {"--", "--help"}, A::Run, "", {"--help"}},
    {"double_dash_after_config", {"-c", "a.ini", "--", "-x.txt"}, A::Run, "a.ini", {"-x.txt"}},
    {"lone_dash_is_a_pattern", {"-", "x"}, A::Run, "", {"-", "x"}},
    {"config_without_file", {"--config"}, A::Wrong, "", {}, "option --config needs a file name"},
    {"config_with_empty_file", {"-c", ""}, A::Wrong, "", {}, "option -c needs a file name"},
    {"config_equals_nothing", {"--config="}, A::Wrong, "", {},
     "unknown option --config= (quelmo --help lists them; \"--\" ends the options)"},
    {"log_json", {"--log-json", "r.jsonl", "x.txt"}, A::Run, "", {"x.txt"}, "", "r.jsonl"},
    {"log_json_equals", {"--log-json=/var/q/r.jsonl"}, A::Run, "", {}, "", "/var/q/r.jsonl"},
    {"log_json_and_config", {"--log-json=r", "-c", "a.ini", "x"}, A::Run, "a.ini", {"x"}, "", "r"},
    {"log_json_without_file", {"--log-json"}, A::Wrong, "", {}, "option --log-json needs a file name"},
    {"log_json_equals_nothing", {"--log-json="}, A::Wrong, "", {},
     "unknown option --log-json= (quelmo --help lists them; \"--\" ends the options)"},
    {"log_json_prefix_is_no_option", {"--log-jsonx"}, A::Wrong, "", {},
     "unknown option --log-jsonx (quelmo --help lists them; \"--\" ends the options)"},
    {"unknown_option", {"-x", "a"}, A::Wrong, "", {}, "unknown option -x (quelmo --help lists them; \"--\" ends the options)"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Arguments, OptionTable, ::testing::ValuesIn(optionCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Usage, NamesTheSettingsFileEveryKeyAndEveryExitCode)
{
    const QString text = usageText(QStringLiteral("/opt/q/quelmo.ini"));
    EXPECT_TRUE(text.contains(QStringLiteral("(now: /opt/q/quelmo.ini)")));
    for (const char *word :
         {"IZBRANO",     "FTPURL",      "ftpdir",   "localdir",   "uporabnik", "geslo",  "verify",
          "uploadtemp",  "pavze",       "datamode", "tls=",       "tlsca",     "tlspin", "prenos1..prenos20",
          "run1..run20", "VANTREL.log", "--config", "--log-json", "--version", "--help"})
        EXPECT_TRUE(text.contains(QLatin1String(word))) << word;
    for (int code = 0; code <= 5; ++code)
        EXPECT_TRUE(text.contains(QStringLiteral("\n  %1  ").arg(code))) << code;
}

// ---------------------------------------------------------------- lines

struct LineCase
{
    const char *name;
    diagnostics::Kind kind;
    diagnostics::Where where;
    const char *text;
    const char *line;
};

void PrintTo(const LineCase &c, std::ostream *os)
{
    *os << c.name;
}

class LineTable : public ::testing::TestWithParam<LineCase>
{};

TEST_P(LineTable, Formats)
{
    const LineCase &c = GetParam();
    EXPECT_EQ(diagnostics::line(c.kind, c.where, QString::fromUtf8(c.text)), QString::fromUtf8(c.line));
}

using K = diagnostics::Kind;
using W = diagnostics::Where;

// clang-format off
const LineCase lineCases[] = {
    {"error_with_site", K::Error, W{"s", "h:21", ""}, "text", "quelmo: error: [s] h:21: text"},
    {"warning_with_site", K::Warning, W{"s", "h", ""}, "text", "quelmo: warning: [s] h: text"},
    {"nothing_known_yet", K::Warning, W{}, "settings file /x is missing", "quelmo: warning: settings file /x is missing"},
    {"server_without_section", K::Error, W{"", "127.0.0.1", ""}, "t", "quelmo: error: 127.0.0.1: t"},
    {"reply_line_break", K::Error, W{"s", "h", ""}, "550 Refused.\r\n", "quelmo: error: [s] h: 550 Refused."},
    {"multi_line_reply", K::Error, W{"s", "h", ""}, "550-One\r\n550 Two\r\n", "quelmo: error: [s] h: 550-One 550 Two"},
    {"lone_breaks_and_tabs", K::Error, W{"s", "h", ""}, "a\nb\rc\td\u2028e", "quelmo: error: [s] h: a b c d e"},
    {"trailing_blanks", K::Warning, W{"s", "h", ""}, "t  \r\n  ", "quelmo: warning: [s] h: t"},
    {"password_masked", K::Error, W{"s", "h", "s3cret"}, "530 PASS s3cret refused, s3cret",
     "quelmo: error: [s] h: 530 PASS *** refused, ***"},
    {"no_password_no_mask", K::Error, W{"s", "h", ""}, "a b", "quelmo: error: [s] h: a b"},
    {"password_in_a_path", K::Error, W{"s", "h", "srv"}, "/srv/a -> /b: x", "quelmo: error: [s] h: /***/a -> /b: x"},
    {"two_letters_not_masked", K::Error, W{"s", "h", "ab"}, "abc", "quelmo: error: [s] h: abc"},
    {"two_letters_masked_as_a_word", K::Error, W{"s", "h", "ab"}, "530 ab: abc", "quelmo: error: [s] h: 530 ***: abc"},
    {"one_letter_as_a_word_only", K::Error, W{"s", "h", "a"}, "530 a password: a", "quelmo: error: [s] h: 530 *** password: ***"},
    {"symbols_at_the_edges", K::Error, W{"s", "h", "#x!"}, "530 x#x!y", "quelmo: error: [s] h: 530 x***y"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Lines, LineTable, ::testing::ValuesIn(lineCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FileText, SourceArrowDestinationReason)
{
    EXPECT_EQ(diagnostics::fileText(QStringLiteral("/l/a"), QStringLiteral("/r/a"), QStringLiteral("why")),
              QStringLiteral("/l/a -> /r/a: why"));
}

// ---------------------------------------------------------------- keys

struct KeyCase
{
    const char *key;
    const char *problem; // "" for a key the program reads
};

class KeyTable : public ::testing::TestWithParam<KeyCase>
{};

TEST_P(KeyTable, NamesWhatIsNeverRead)
{
    EXPECT_EQ(unknownSiteKey(QString::fromUtf8(GetParam().key)), QString::fromUtf8(GetParam().problem));
}

// clang-format off
const KeyCase keyCases[] = {
    {"FTPURL", ""}, {"ftpurl", ""}, {"ftpdir", ""}, {"LocalDir", ""}, {"uporabnik", ""}, {"geslo", ""},
    {"prenos1", ""}, {"prenos20", ""}, {"PRENOS7", ""}, {"run1", ""}, {"run20", ""}, {"verify", ""}, {"UploadTemp", ""},
    {"verfy", "key \"verfy\" is not known and never read (did you mean \"verify\"?)"},
    {"uploadtmp", "key \"uploadtmp\" is not known and never read (did you mean \"uploadtemp\"?)"},
    {"lokaldir", "key \"lokaldir\" is not known and never read (did you mean \"localdir\"?)"},
    {"ftpurl2", "key \"ftpurl2\" is not known and never read (did you mean \"FTPURL\"?)"},
    {"uporabik", "key \"uporabik\" is not known and never read (did you mean \"uporabnik\"?)"},
    {"gesla", "key \"gesla\" is not known and never read (did you mean \"geslo\"?)"},
    {"prenso4", "key \"prenso4\" is not known and never read (did you mean \"prenos4\"?)"},
    {"rum3", "key \"rum3\" is not known and never read (did you mean \"run3\"?)"},
    {"prenos0", "key \"prenos0\" is never read: the list runs from prenos1 to prenos20, without leading zeros"},
    {"prenos21", "key \"prenos21\" is never read: the list runs from prenos1 to prenos20, without leading zeros"},
    {"run05", "key \"run05\" is never read: the list runs from run1 to run20, without leading zeros"},
    {"prenos", "key \"prenos\" is never read: the list runs from prenos1 to prenos20, without leading zeros"},
    {"password", "key \"password\" is not known and never read"},
    {"user", "key \"user\" is not known and never read"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Keys, KeyTable, ::testing::ValuesIn(keyCases), [](const auto &info) {
    std::string name = info.param.key;
    return name + (*info.param.problem ? "_unknown" : "_known");
});

} // namespace
