#include "card_model.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <thread>
#include <type_traits>
#include <utility>

namespace qv58163sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

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
std::optional<Number> to_number(const std::string &text) {
    const std::string t = trim(text);
    const char *first = t.data();
    const char *last = t.data() + t.size();
    if constexpr (std::is_signed_v<Number> || std::is_floating_point_v<Number>) {
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

std::optional<double> to_double(const std::string &text) {
    const auto value = to_number<double>(text);
    return value && std::isfinite(*value) ? value : std::nullopt;
}

std::optional<long long> to_integer(const std::string &text, long long lo, long long hi) {
    const auto value = to_number<long long>(text);
    return value && *value >= lo && *value <= hi ? value : std::nullopt;
}

std::optional<uint64_t> to_unsigned(const std::string &text) {
    return to_number<uint64_t>(text);
}

// Eight comma-separated range codes 0..255 over `base`; an empty entry keeps the base code.
Ranges parse_ranges(const std::string &name, const std::string &text, Ranges base,
                    std::vector<std::string> &warnings) {
    const auto entries = split(text, ',');
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i >= static_cast<std::size_t>(kChannels)) {
            warnings.push_back(name + ": more than 8 entries, the rest are ignored");
            break;
        }
        if (entries[i].empty()) {
            continue;
        }
        const auto code = to_integer(entries[i], 0, 255);
        if (!code) {
            warnings.push_back(name + ": entry " + std::to_string(i) + " \"" + entries[i] +
                               "\" is not a range code 0..255, default kept");
            continue;
        }
        base[i] = static_cast<uint8_t>(*code);
    }
    return base;
}

uint64_t splitmix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

// Uniform in (0, 1]: never 0, so its logarithm is finite.
double unit_interval(uint64_t bits) {
    return (static_cast<double>(bits >> 11) + 1.0) * (1.0 / 9007199254740992.0);
}

std::string join_results(const int16_t *results) {
    std::string text = "[";
    for (int i = 0; i < kChannels; ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += std::to_string(results[i]);
    }
    return text + "]";
}

}  // namespace

double Signal::at(double seconds) const {
    if (kind == Kind::Dc) {
        return offset;
    }
    const double cycles = freq * seconds + phase / 360.0;
    const double frac = cycles - std::floor(cycles);
    double shape = 0.0;  // -1..+1
    switch (kind) {
        case Kind::Sine:
            shape = std::sin(2.0 * kPi * frac);
            break;
        case Kind::Triangle:  // in step with the sine: 0 rising to +1 at a quarter cycle
            shape = frac < 0.25 ? 4.0 * frac : (frac < 0.75 ? 2.0 - 4.0 * frac : 4.0 * frac - 4.0);
            break;
        case Kind::Square:
            shape = frac < 0.5 ? 1.0 : -1.0;
            break;
        case Kind::Ramp:
            shape = 2.0 * frac - 1.0;
            break;
        case Kind::Dc:
            break;
    }
    return offset + amp * shape;
}

Ranges Settings::ranges_of(int card) const {
    const auto it = card_ranges.find(card);
    return it == card_ranges.end() ? ranges : it->second;
}

std::optional<uint64_t> Settings::fail_after_of(int card) const {
    const auto it = card_fail_after.find(card);
    return it == card_fail_after.end() ? fail_after : std::optional<uint64_t>(it->second);
}

Settings default_settings() {
    using K = Signal::Kind;
    Settings s;
    s.cards = {0, 1};
    s.ranges = {kRangePm5V, kRange0To5V, kRangePm10V, kRange0To10V,
                kRangePm5V, kRange0To5V, kRangePm10V, kRangeStop};
    // Each channel looks different out of the box and stays inside its default range.
    s.signals = {{
        {K::Sine, 4.0, 0.0, 0.2, 0.0},      // CH00 on -5..+5 V
        {K::Dc, 0.0, 3.3, 0.0, 0.0},        // CH01 on 0..5 V
        {K::Triangle, 8.0, 0.0, 0.1, 0.0},  // CH02 on -10..+10 V
        {K::Square, 3.0, 5.0, 0.5, 0.0},    // CH03 on 0..10 V
        {K::Ramp, 4.0, 0.0, 0.25, 0.0},     // CH04 on -5..+5 V
        {K::Sine, 1.0, 2.5, 1.0, 90.0},     // CH05 on 0..5 V
        {K::Dc, 0.0, -6.5, 0.0, 0.0},       // CH06 on -10..+10 V
        {K::Sine, 2.0, 0.0, 0.05, 0.0},     // CH07, stopped until a range is set
    }};
    return s;
}

std::optional<std::set<int>> parse_cards(const std::string &text, std::string &error) {
    std::set<int> cards;
    if (trim(text).empty()) {
        return cards;
    }
    for (const auto &entry : split(text, ',')) {
        const auto card = to_integer(entry, 0, kMaxCard);
        if (!card) {
            error = "\"" + entry + "\" is not a card number 0..255";
            return std::nullopt;
        }
        cards.insert(static_cast<int>(*card));
    }
    return cards;
}

std::optional<Signal> parse_signal(const std::string &text, std::string &error) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) {
        error = "expected KIND:..., got \"" + text + "\"";
        return std::nullopt;
    }
    const std::string kind = trim(text.substr(0, colon));
    const std::string rest = trim(text.substr(colon + 1));
    Signal signal;
    if (kind == "dc") {
        const auto level = to_double(rest);
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
        const auto value = eq == std::string::npos ? std::nullopt : to_double(pair.substr(eq + 1));
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

Settings read_settings(const EnvLookup &env, std::vector<std::string> &warnings) {
    Settings s = default_settings();
    auto bad = [&warnings](const std::string &name, const std::string &value,
                           const std::string &why) {
        warnings.push_back(name + "=\"" + value + "\": " + why + ", default kept");
    };
    // A number setting from 0 to `most` into `target`, when it is set.
    auto read_number = [&](const std::string &name, double most, const char *why, auto &target) {
        if (const auto v = env(name)) {
            const auto n = to_double(*v);
            if (n && *n >= 0.0 && *n <= most) {
                target = *n;
            } else {
                bad(name, *v, why);
            }
        }
    };
    // A count setting (unsigned 64-bit) into `target`, when it is set.
    auto read_count = [&](const std::string &name, const char *why, auto &target) {
        if (const auto v = env(name)) {
            if (const auto n = to_unsigned(*v)) {
                target = *n;
            } else {
                bad(name, *v, why);
            }
        }
    };

    if (const auto v = env("QV58163_SIM_CARDS")) {
        std::string error;
        if (const auto cards = parse_cards(*v, error)) {
            s.cards = *cards;
        } else {
            bad("QV58163_SIM_CARDS", *v, error);
        }
    }
    if (const auto v = env("QV58163_SIM_INITIAL_STATUS")) {
        if (const auto n = to_integer(*v, std::numeric_limits<int32_t>::min(),
                                      std::numeric_limits<int32_t>::max())) {
            s.initial_status = static_cast<int32_t>(*n);
        } else {
            bad("QV58163_SIM_INITIAL_STATUS", *v, "not a 32-bit integer");
        }
    }
    if (const auto v = env("QV58163_SIM_RANGES")) {
        s.ranges = parse_ranges("QV58163_SIM_RANGES", *v, s.ranges, warnings);
    }
    for (int card = 0; card <= kMaxCard; ++card) {
        const std::string name = "QV58163_SIM_RANGES_" + std::to_string(card);
        if (const auto v = env(name)) {
            s.card_ranges[card] = parse_ranges(name, *v, s.ranges, warnings);
        }
        const std::string fail_name = "QV58163_SIM_FAIL_AFTER_" + std::to_string(card);
        std::optional<uint64_t> limit;
        read_count(fail_name, "not a count of reads", limit);
        if (limit) {
            s.card_fail_after[card] = *limit;
        }
    }
    if (const auto v = env("QV58163_SIM_SIGNALS")) {
        const auto entries = split(*v, ';');
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i >= static_cast<std::size_t>(kChannels)) {
                warnings.push_back(
                    "QV58163_SIM_SIGNALS: more than 8 entries, the rest are ignored");
                break;
            }
            if (entries[i].empty()) {
                continue;
            }
            std::string error;
            if (const auto signal = parse_signal(entries[i], error)) {
                s.signals[i] = *signal;
            } else {
                warnings.push_back("QV58163_SIM_SIGNALS: channel " + std::to_string(i) + ": " +
                                   error + ", default kept");
            }
        }
    }
    constexpr double kUnbounded = std::numeric_limits<double>::infinity();
    read_number("QV58163_SIM_NOISE", kUnbounded, "not a standard deviation >= 0 in volts", s.noise);
    read_count("QV58163_SIM_SEED", "not an unsigned 64-bit integer", s.seed);
    read_number("QV58163_SIM_STEP_MS", kUnbounded, "not a step >= 0 in milliseconds", s.step_ms);
    read_count("QV58163_SIM_FAIL_AFTER", "not a count of reads", s.fail_after);
    read_number("QV58163_SIM_DELAY_MS", 60000.0, "not a delay 0..60000 in milliseconds",
                s.delay_ms);
    if (const auto v = env("QV58163_SIM_TRACE")) {
        s.trace_path = *v;
    }
    return s;
}

int conversions_for_mode(int mode) {
    return 1 << mode;
}

int convert(double volts, uint8_t range) {
    double code = 0.0;
    double lo = 0.0;
    double hi = 0.0;
    switch (range) {
        case kRange0To5V:
        case kRange0To10V:
            code = std::round(volts * 4095.0 / (range == kRange0To5V ? 5.0 : 10.0));
            lo = 0.0;
            hi = 4095.0;
            break;
        case kRangePm5V:
        case kRangePm10V:
            code = std::round(volts * 4096.0 / (range == kRangePm5V ? 10.0 : 20.0));
            lo = -2048.0;
            hi = 2047.0;
            break;
        default:
            return 0;
    }
    if (std::isnan(code)) {
        return 0;
    }
    return static_cast<int>(code < lo ? lo : (code > hi ? hi : code));
}

double gaussian(uint64_t seed, int card, int channel, uint64_t sample) {
    uint64_t h = splitmix64(seed);
    h = splitmix64(h ^ static_cast<uint64_t>(card));
    h = splitmix64(h ^ static_cast<uint64_t>(channel));
    h = splitmix64(h ^ sample);
    const double u1 = unit_interval(h);
    const double u2 = unit_interval(splitmix64(h ^ 0xD1B54A32D192ED03ULL));
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

Driver::Driver(EnvLookup env, WarningSink warn) : env_(std::move(env)), warn_(std::move(warn)) {
    if (!warn_) {
        warn_ = [](const std::string &line) {
            std::fprintf(stderr, "QV58163 simulator: %s\n", line.c_str());
        };
    }
}

int32_t Driver::info_word(int card) {
    return static_cast<int32_t>(0x58160000u | (static_cast<uint32_t>(kChannels) << 8) |
                                static_cast<uint32_t>(card));
}

Driver::Card *Driver::find_card(int16_t card) {
    const auto it = cards_.find(card);
    return it == cards_.end() ? nullptr : &it->second;
}

Driver::Card *Driver::checked_card(int16_t card, int32_t &result, bool output_missing) {
    result = status::kOk;
    Card *c = nullptr;
    if (!open_) {
        result = status::kNotOpen;
    } else if (output_missing) {
        result = status::kNullPointer;
    } else if ((c = find_card(card)) == nullptr) {
        result = status::kNoCard;
    }
    return c;
}

double Driver::signal_time(const Card &card) const {
    if (settings_.step_ms) {
        return static_cast<double>(card.reads) * *settings_.step_ms / 1000.0;
    }
    return std::chrono::duration<double>(Clock::now() - started_).count();
}

void Driver::pause() const {
    if (settings_.delay_ms > 0.0) {
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(settings_.delay_ms));
    }
}

void Driver::trace(const std::string &line) {
    // Before the first QV58163_initial there are no settings yet: look the path up directly.
    std::string path = settings_.trace_path;
    if (!initialised_) {
        path = env_("QV58163_SIM_TRACE").value_or("");
    }
    if (path.empty()) {
        return;
    }
    // Opened and closed per line so that every line is on disk even if the program exits at once.
    if (std::FILE *file = std::fopen(path.c_str(), "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

int32_t Driver::initial() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> warnings;
    settings_ = read_settings(env_, warnings);
    initialised_ = true;
    for (const auto &w : warnings) {
        if (warned_.insert(w).second) {
            warn_(w);
        }
    }
    cards_.clear();
    open_ = settings_.initial_status == status::kOk;
    if (open_) {
        for (const int n : settings_.cards) {
            cards_[n].ranges = settings_.ranges_of(n);
        }
        started_ = Clock::now();
    }
    pause();
    trace("QV58163_initial() = " + std::to_string(settings_.initial_status));
    return settings_.initial_status;
}

int32_t Driver::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    open_ = false;
    cards_.clear();
    trace("QV58163_close() = 0");
    return status::kOk;
}

int32_t Driver::info(int16_t card, int32_t *info) {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    const std::string call = "QV58163_info(" + std::to_string(card) + ", " +
                             (info ? std::to_string(*info) : std::string("null")) + ") = ";
    int32_t result;
    checked_card(card, result, info == nullptr);
    if (result != status::kOk) {
        trace(call + std::to_string(result));
        return result;
    }
    *info = info_word(card);
    trace(call + "0 info=" + std::to_string(*info));
    return status::kOk;
}

int32_t Driver::config_read(int16_t card, int16_t channel, uint8_t *code) {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    const std::string call =
        "QV58163_AD_config_read(" + std::to_string(card) + ", " + std::to_string(channel) + ") = ";
    int32_t result;
    Card *c = checked_card(card, result, code == nullptr);
    if (c && (channel < 0 || channel >= kChannels)) {
        result = status::kBadChannel;
    }
    if (result != status::kOk) {
        trace(call + std::to_string(result));
        return result;
    }
    *code = c->ranges[channel];
    trace(call + "0 code=" + std::to_string(*code));
    return status::kOk;
}

int32_t Driver::config_set(int16_t card, int16_t channel, int16_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    int32_t result;
    Card *c = checked_card(card, result);
    if (c && (channel < 0 || channel >= kChannels)) {
        result = status::kBadChannel;
    } else if (c && !((code >= kRange0To5V && code <= kRangePm10V) || code == kRangeStop)) {
        result = status::kBadValue;
    } else if (c) {
        c->ranges[channel] = static_cast<uint8_t>(code);
    }
    trace("QV58163_AD_config_set(" + std::to_string(card) + ", " + std::to_string(channel) + ", " +
          std::to_string(code) + ") = " + std::to_string(result));
    return result;
}

int32_t Driver::integral_start(int16_t card, uint8_t mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    int32_t result;
    Card *c = checked_card(card, result);
    if (c && mode > kMaxMode) {
        result = status::kBadValue;
    } else if (c) {
        c->running = true;
        c->mode = mode;
    }
    trace("QV58163_AD_integral_start(" + std::to_string(card) + ", " + std::to_string(mode) +
          ") = " + std::to_string(result));
    return result;
}

int32_t Driver::integral_all_read(int16_t card, int16_t *results) {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    const std::string call = "QV58163_AD_integral_all_read(" + std::to_string(card) + ") = ";
    int32_t result;
    Card *c = checked_card(card, result, results == nullptr);
    if (const auto limit = settings_.fail_after_of(card); c && limit && c->reads >= *limit) {
        result = status::kCardLost;
    } else if (c && !c->running) {
        result = status::kNotStarted;
    }
    if (result != status::kOk) {
        trace(call + std::to_string(result));
        return result;
    }

    const double t = signal_time(*c);
    const int n = conversions_for_mode(c->mode);
    for (int ch = 0; ch < kChannels; ++ch) {
        const uint8_t range = c->ranges[ch];
        const double volts = settings_.signals[ch].at(t);
        // Each conversion carries its own noise; the card reports their mean.
        long long sum = 0;
        for (int i = 0; i < n; ++i) {
            const double noise =
                settings_.noise > 0.0
                    ? settings_.noise * gaussian(settings_.seed, card, ch, c->samples + i)
                    : 0.0;
            sum += convert(volts + noise, range);
        }
        results[ch] = static_cast<int16_t>(std::llround(static_cast<double>(sum) / n));
    }
    for (int slot = kChannels; slot < kResultSlots; ++slot) {
        results[slot] = kUnusedSlotValue;
    }
    c->samples += static_cast<uint64_t>(n);
    ++c->reads;
    trace(call + "0 " + join_results(results));
    return status::kOk;
}

int32_t Driver::integral_stop(int16_t card) {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    int32_t result;
    if (Card *c = checked_card(card, result)) {
        c->running = false;
    }
    trace("QV58163_AD_integral_stop(" + std::to_string(card) + ") = " + std::to_string(result));
    return result;
}

int32_t Driver::value_read() {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    trace("QV58163_AD_value_read() = " + std::to_string(status::kNotSupported));
    return status::kNotSupported;
}

int32_t Driver::data_read() {
    std::lock_guard<std::mutex> lock(mutex_);
    pause();
    trace("QV58163_AD_data_read() = " + std::to_string(status::kNotSupported));
    return status::kNotSupported;
}

}  // namespace qv58163sim
