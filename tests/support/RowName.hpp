// Names a parameterized case by its row as the test prints it, so a failure says which case:
// "code_255", "minus0_0625" (a minus becomes "minus", any other run of non-alphanumerics one '_').
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
