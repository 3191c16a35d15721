#pragma once

// The two ways a data connection is opened, as a test parameter: readable in
// test names ("Modes/Suite.Test/Passive") and in failure messages.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>

#include "ftp/cftp.h"

namespace inet {
inline void PrintTo(DataMode mode, std::ostream *os)
{
    *os << (mode == DataMode::Passive ? "Passive" : "Active");
}
} // namespace inet

inline std::string dataModeName(inet::DataMode mode)
{
    return mode == inet::DataMode::Passive ? "Passive" : "Active";
}

inline auto bothDataModes()
{
    return ::testing::Values(inet::DataMode::Active, inet::DataMode::Passive);
}

// "Active", "Passive".
struct ByDataMode
{
    std::string operator()(const ::testing::TestParamInfo<inet::DataMode> &info) const
    {
        return dataModeName(info.param);
    }
};

// "Active_DroppedHalfway": the mode, then the row's own `name` field.
struct ByDataModeAndRowName
{
    template<typename Row>
    std::string operator()(const ::testing::TestParamInfo<std::tuple<inet::DataMode, Row>> &info) const
    {
        return dataModeName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
    }
};

// Every test of the suite, once over an active and once over a passive
// data connection.
#define INSTANTIATE_FOR_BOTH_MODES(suite) INSTANTIATE_TEST_SUITE_P(Modes, suite, bothDataModes(), ByDataMode())

// Every row of the table, in both modes.
#define INSTANTIATE_ROWS_FOR_BOTH_MODES(prefix, suite, rows) \
    INSTANTIATE_TEST_SUITE_P(prefix, suite, ::testing::Combine(bothDataModes(), ::testing::ValuesIn(rows)), \
                             ByDataModeAndRowName())
