// The simulated card's settings, read from the QV58163_SIM_* environment variables. A malformed
// value, or a malformed entry of a list, keeps its default and is reported in one line.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "QV58163.h"
#include "SignalModel.hpp"

namespace qv58163::sim {

inline constexpr int maxCard = 255;

// A card's range code per channel.
using Ranges = std::array<std::uint8_t, channelCount>;

// Every member starts at its default.
struct Settings {
    std::set<int> cards{0, 1};
    std::int32_t initialStatus = 0;
    Ranges ranges{QV58163_RANGE_PM5V, QV58163_RANGE_0_5V, QV58163_RANGE_PM10V, QV58163_RANGE_0_10V,
                  QV58163_RANGE_PM5V, QV58163_RANGE_0_5V, QV58163_RANGE_PM10V, QV58163_RANGE_STOP};
    std::map<int, Ranges> cardRanges;  // QV58163_SIM_RANGES_<n>, only where set
    // Each channel looks different out of the box and stays inside its default range.
    std::array<Signal, channelCount> signals{{
        {Signal::Kind::Sine, 4.0, 0.0, 0.2, 0.0},      // CH00 on -5..+5 V
        {Signal::Kind::Dc, 0.0, 3.3, 0.0, 0.0},        // CH01 on 0..5 V
        {Signal::Kind::Triangle, 8.0, 0.0, 0.1, 0.0},  // CH02 on -10..+10 V
        {Signal::Kind::Square, 3.0, 5.0, 0.5, 0.0},    // CH03 on 0..10 V
        {Signal::Kind::Ramp, 4.0, 0.0, 0.25, 0.0},     // CH04 on -5..+5 V
        {Signal::Kind::Sine, 1.0, 2.5, 1.0, 90.0},     // CH05 on 0..5 V
        {Signal::Kind::Dc, 0.0, -6.5, 0.0, 0.0},       // CH06 on -10..+10 V
        {Signal::Kind::Sine, 2.0, 0.0, 0.05, 0.0},     // CH07, stopped until a range is set
    }};
    Noise noise;
    std::optional<double> stepMs;  // unset: the real steady clock drives the signals
    std::optional<std::uint64_t> failAfter;
    std::map<int, std::uint64_t> cardFailAfter;  // QV58163_SIM_FAIL_AFTER_<n>
    double delayMs = 0.0;
    std::string tracePath;

    Ranges rangesOf(int card) const;
    std::optional<std::uint64_t> failAfterOf(int card) const;
};

// Looks up an environment variable; nullopt when it is not set at all.
using EnvLookup = std::function<std::optional<std::string>(const std::string &)>;

// Reads every QV58163_SIM_* variable. Each malformed value or entry adds one line to `warnings`.
Settings readSettings(const EnvLookup &env, std::vector<std::string> &warnings);

// QV58163_SIM_TRACE, the file every call is traced to; empty: none. Also looked at before the
// first QV58163_initial, when there are no settings yet.
std::string tracePathOf(const EnvLookup &env);

}  // namespace qv58163::sim
