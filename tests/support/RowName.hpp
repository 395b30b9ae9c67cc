// Names each case of a parameterized suite by what its row holds, as the test prints the row, so
// that a failure says which case: "code_255", "minus0_0625". A minus becomes "minus" and any other
// run of characters a test name cannot hold becomes one '_'.
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
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '-') {
                name += c == '-' ? std::string("minus") : std::string(1, c);
            } else if (!name.empty() && name.back() != '_') {
                name += '_';
            }
        }
        return !name.empty() && name.back() == '_' ? name.substr(0, name.size() - 1) : name;
    }
};

}  // namespace qv58163::test
