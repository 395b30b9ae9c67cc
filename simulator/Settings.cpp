#include "Settings.hpp"

#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

namespace qv58163::sim {

namespace {

std::string trim(const std::string &text) {
    const char *space = " \t\r\n";
    const auto first = text.find_first_not_of(space);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string &text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type begin = 0;
    while (true) {
        const auto end = text.find(separator, begin);
        parts.push_back(trim(text.substr(begin, end - begin)));
        if (end == std::string::npos) {
            return parts;
        }
        begin = end + 1;
    }
}

// Numbers are read with std::from_chars, which ignores the C library's locale: a GUI application
// puts the user's locale into the C library, and a German one would refuse "2.5". A leading '+'
// is accepted where a sign is (as the C library's parsing did).
template <typename Number>
std::optional<Number> toNumber(const std::string &text) {
    const std::string t = trim(text);
    const char *first = t.data();
    const char *last = t.data() + t.size();
    if constexpr (std::is_signed_v<Number>) {
        if (last - first > 1 && *first == '+' && first[1] != '-') {
            ++first;
        }
    }
    Number value{};
    const auto [end, error] = std::from_chars(first, last, value);
    if (t.empty() || error != std::errc() || end != last) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> toDouble(const std::string &text) {
    const auto value = toNumber<double>(text);
    return value && std::isfinite(*value) ? value : std::nullopt;
}

std::optional<long long> toInteger(const std::string &text, long long lo, long long hi) {
    const auto value = toNumber<long long>(text);
    return value && *value >= lo && *value <= hi ? value : std::nullopt;
}

// The warning for a list with an entry past the last channel.
std::string moreEntriesThanChannels(const std::string &name) {
    return name + ": more than " + std::to_string(channelCount) + " entries, the rest are ignored";
}

// Eight comma-separated range codes 0..255 over `base`; an empty entry keeps the base code.
Ranges parseRanges(const std::string &name, const std::string &text, Ranges base,
                   std::vector<std::string> &warnings) {
    const auto entries = split(text, ',');
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i >= static_cast<std::size_t>(channelCount)) {
            warnings.push_back(moreEntriesThanChannels(name));
            break;
        }
        if (entries[i].empty()) {
            continue;
        }
        const auto code = toInteger(entries[i], 0, 255);
        if (!code) {
            warnings.push_back(name + ": entry " + std::to_string(i) + " \"" + entries[i] +
                               "\" is not a range code 0..255, default kept");
            continue;
        }
        base[i] = static_cast<uint8_t>(*code);
    }
    return base;
}

// A comma-separated list of card numbers; empty means no card. Nullopt, with `error` set, when
// an entry is not a card number.
std::optional<std::set<int>> parseCards(const std::string &text, std::string &error) {
    std::set<int> cards;
    if (trim(text).empty()) {
        return cards;
    }
    for (const auto &entry : split(text, ',')) {
        const auto card = toInteger(entry, 0, maxCard);
        if (!card) {
            error = "\"" + entry + "\" is not a card number 0..255";
            return std::nullopt;
        }
        cards.insert(static_cast<int>(*card));
    }
    return cards;
}

// One channel's signal, "dc:V" or "KIND:key=number,...". Nullopt, with `error` set, when
// malformed.
std::optional<Signal> parseSignal(const std::string &text, std::string &error) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        error = "expected KIND:..., got \"" + text + "\"";
        return std::nullopt;
    }
    const std::string kind = trim(text.substr(0, colon));
    const std::string rest = trim(text.substr(colon + 1));
    Signal signal;
    if (kind == "dc") {
        const auto level = toDouble(rest);
        if (!level) {
            error = "dc needs a level in volts, got \"" + rest + "\"";
            return std::nullopt;
        }
        signal.offset = *level;
        return signal;
    }
    static const std::map<std::string, Signal::Kind> kinds = {{"sine", Signal::Kind::Sine},
                                                              {"triangle", Signal::Kind::Triangle},
                                                              {"square", Signal::Kind::Square},
                                                              {"ramp", Signal::Kind::Ramp}};
    const auto found = kinds.find(kind);
    if (found == kinds.end()) {
        error = "unknown signal kind \"" + kind + "\"";
        return std::nullopt;
    }
    signal.kind = found->second;
    signal.amp = 1.0;
    signal.freq = 1.0;
    std::set<std::string> seen;
    for (const auto &pair : rest.empty() ? std::vector<std::string>{} : split(rest, ',')) {
        const auto eq = pair.find('=');
        const std::string key = trim(pair.substr(0, eq));
        const auto value = eq == std::string::npos ? std::nullopt : toDouble(pair.substr(eq + 1));
        if (!value) {
            error = "expected key=number, got \"" + pair + "\"";
            return std::nullopt;
        }
        if (!seen.insert(key).second) {
            error = "\"" + key + "\" given twice";
            return std::nullopt;
        }
        if (key == "amp" && *value >= 0.0) {
            signal.amp = *value;
        } else if (key == "offset") {
            signal.offset = *value;
        } else if (key == "freq" && *value >= 0.0) {
            signal.freq = *value;
        } else if (key == "phase") {
            signal.phase = *value;
        } else {
            error = "\"" + pair + "\": unknown key or negative amp/freq";
            return std::nullopt;
        }
    }
    return signal;
}

// Up to eight `;`-separated signals over `base`; an empty entry keeps the base signal.
std::array<Signal, channelCount> parseSignals(const std::string &text,
                                              std::array<Signal, channelCount> base,
                                              std::vector<std::string> &warnings) {
    const auto entries = split(text, ';');
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i >= static_cast<std::size_t>(channelCount)) {
            warnings.push_back(moreEntriesThanChannels("QV58163_SIM_SIGNALS"));
            break;
        }
        if (entries[i].empty()) {
            continue;
        }
        std::string error;
        if (const auto signal = parseSignal(entries[i], error)) {
            base[i] = *signal;
        } else {
            warnings.push_back("QV58163_SIM_SIGNALS: channel " + std::to_string(i) + ": " + error +
                               ", default kept");
        }
    }
    return base;
}

// Reads number and count settings; a malformed value keeps the default and adds to `warnings`.
struct VariableReader {
    const EnvLookup &env;
    std::vector<std::string> &warnings;

    void bad(const std::string &name, const std::string &value, const std::string &why) const {
        warnings.push_back(name + "=\"" + value + "\": " + why + ", default kept");
    }
    // A number from 0 to `most` into `target`, when the variable is set.
    template <typename Target>
    void number(const std::string &name, double most, const char *why, Target &target) const {
        if (const auto v = env(name)) {
            const auto n = toDouble(*v);
            if (n && *n >= 0.0 && *n <= most) {
                target = *n;
            } else {
                bad(name, *v, why);
            }
        }
    }
    // A count (unsigned 64-bit) into `target`, when the variable is set.
    template <typename Target>
    void count(const std::string &name, const char *why, Target &target) const {
        if (const auto v = env(name)) {
            if (const auto n = toNumber<uint64_t>(*v)) {
                target = *n;
            } else {
                bad(name, *v, why);
            }
        }
    }
};

}  // namespace

Ranges Settings::rangesOf(int card) const {
    const auto it = cardRanges.find(card);
    return it == cardRanges.end() ? ranges : it->second;
}

std::optional<uint64_t> Settings::failAfterOf(int card) const {
    const auto it = cardFailAfter.find(card);
    return it == cardFailAfter.end() ? failAfter : std::optional<uint64_t>(it->second);
}

Settings readSettings(const EnvLookup &env, std::vector<std::string> &warnings) {
    Settings s;
    const VariableReader read{env, warnings};
    if (const auto v = env("QV58163_SIM_CARDS")) {
        std::string error;
        if (const auto cards = parseCards(*v, error)) {
            s.cards = *cards;
        } else {
            read.bad("QV58163_SIM_CARDS", *v, error);
        }
    }
    if (const auto v = env("QV58163_SIM_INITIAL_STATUS")) {
        if (const auto n = toInteger(*v, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max())) {
            s.initialStatus = static_cast<int32_t>(*n);
        } else {
            read.bad("QV58163_SIM_INITIAL_STATUS", *v, "not a 32-bit integer");
        }
    }
    if (const auto v = env("QV58163_SIM_RANGES")) {
        s.ranges = parseRanges("QV58163_SIM_RANGES", *v, s.ranges, warnings);
    }
    for (int card = 0; card <= maxCard; ++card) {
        const std::string rangesName = "QV58163_SIM_RANGES_" + std::to_string(card);
        if (const auto v = env(rangesName)) {
            s.cardRanges[card] = parseRanges(rangesName, *v, s.ranges, warnings);
        }
        std::optional<uint64_t> limit;
        read.count("QV58163_SIM_FAIL_AFTER_" + std::to_string(card), "not a count of reads", limit);
        if (limit) {
            s.cardFailAfter[card] = *limit;
        }
    }
    if (const auto v = env("QV58163_SIM_SIGNALS")) {
        s.signals = parseSignals(*v, s.signals, warnings);
    }
    constexpr double unbounded = std::numeric_limits<double>::infinity();
    read.number("QV58163_SIM_NOISE", unbounded, "not a standard deviation >= 0 in volts",
                s.noise.sigma);
    read.count("QV58163_SIM_SEED", "not an unsigned 64-bit integer", s.noise.seed);
    read.number("QV58163_SIM_STEP_MS", unbounded, "not a step >= 0 in milliseconds", s.stepMs);
    read.count("QV58163_SIM_FAIL_AFTER", "not a count of reads", s.failAfter);
    read.number("QV58163_SIM_DELAY_MS", 60000.0, "not a delay 0..60000 in milliseconds", s.delayMs);
    s.tracePath = tracePathOf(env);
    return s;
}

std::string tracePathOf(const EnvLookup &env) {
    return env("QV58163_SIM_TRACE").value_or("");
}

}  // namespace qv58163::sim
