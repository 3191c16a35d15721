#pragma once

// How a test's data connections go, as a test parameter: opened by us
// (active) or by the server (passive), in the clear or encrypted (explicit
// TLS, the server's certificate trusted through the test authority).
// Readable in test names ("Links/Suite.Test/PassiveTls") and in failure
// messages.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>

#include "ftp/cftp.h"

struct DataLink
{
    inet::DataMode mode;
    inet::Security security = inet::Security::None;

    [[nodiscard]] bool encrypted() const { return security != inet::Security::None; }
};

inline std::string dataLinkName(const DataLink &link)
{
    return std::string(link.mode == inet::DataMode::Passive ? "Passive" : "Active") + (link.encrypted() ? "Tls" : "");
}

inline void PrintTo(const DataLink &link, std::ostream *os)
{
    *os << dataLinkName(link);
}

inline auto everyDataLink()
{
    return ::testing::Values(DataLink{inet::DataMode::Active}, DataLink{inet::DataMode::Passive},
                             DataLink{inet::DataMode::Active, inet::Security::ExplicitTls},
                             DataLink{inet::DataMode::Passive, inet::Security::ExplicitTls});
}

// "Active", "PassiveTls".
struct ByDataLink
{
    std::string operator()(const ::testing::TestParamInfo<DataLink> &info) const { return dataLinkName(info.param); }
};

// "ActiveTls_DroppedHalfway": the link, then the row's own `name` field.
struct ByDataLinkAndRowName
{
    template<typename Row>
    std::string operator()(const ::testing::TestParamInfo<std::tuple<DataLink, Row>> &info) const
    {
        return dataLinkName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
    }
};

// Every test of the suite over an active and a passive data connection,
// each in the clear and encrypted.
#define INSTANTIATE_FOR_EVERY_LINK(suite) INSTANTIATE_TEST_SUITE_P(Links, suite, everyDataLink(), ByDataLink())

// Every row of the table over every link.
#define INSTANTIATE_ROWS_FOR_EVERY_LINK(prefix, suite, rows) \
    INSTANTIATE_TEST_SUITE_P(prefix, suite, ::testing::Combine(everyDataLink(), ::testing::ValuesIn(rows)), \
                             ByDataLinkAndRowName())
