// One log for the driver's calls and the window's operations together, in the order they
// happened: "QV58163_AD_config_set(2, 6, 255)", "ID.ListIndex = 0", "End 0".
#pragma once

#include <string>
#include <vector>

namespace qv58163::test {

using CallLog = std::vector<std::string>;

// The entries of `log` that start with `prefix` ("QV58163_AD_config_set", "ID."), in order.
inline CallLog entriesStartingWith(const CallLog &log, const std::string &prefix) {
    CallLog found;
    for (const std::string &entry : log) {
        if (entry.rfind(prefix, 0) == 0) {
            found.push_back(entry);
        }
    }
    return found;
}

}  // namespace qv58163::test
