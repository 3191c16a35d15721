#pragma once

// Names for the rows of parameterised tests, so that ctest lists what a case
// is about ("Sites/FormLoadTable.ReadsTheSelectedSite.../no_file") rather
// than "/0" or a dump of the row's bytes.

#include <gtest/gtest.h>

#include <string>

// Names each test after its row's own `name` field; the names of one table
// must be unique and made of letters, digits and underscores.
struct ByRowName
{
    template<typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row> &info) const
    {
        return std::string(info.param.name);
    }
};
