// Names each case of a parameterized suite by what its row holds, as the test prints the row
// (its PrintTo), so that a failure says which case: "code 255", "-0.0625", "ID". A test name holds
// letters, digits and '_' only, so a minus becomes "minus" and any other run of characters '_'.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace qv58163::test {

struct RowName {
    template <typename Row>
    std::string operator()(const ::testing::TestParamInfo<Row> &info) const {
        std::string name;
        for (const char c : ::testing::PrintToString(info.param)) {
            if (std::isalnum(static_cast<unsigned char>(c))) {
                name += c;
            } else if (c == '-') {
                name += "minus";
            } else if (!name.empty() && name.back() != '_') {
                name += '_';
            }
        }
        while (!name.empty() && name.back() == '_') {
            name.pop_back();
        }
        return name;
    }
};

}  // namespace qv58163::test
