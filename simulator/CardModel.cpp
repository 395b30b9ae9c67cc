#include "CardModel.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

#include "RangeTable.hpp"

namespace qv58163::sim {

namespace {

// The info word a present card writes: 0x5816 in the high half, 8 channels and the card number.
int32_t infoWord(int card) {
    return static_cast<int32_t>(0x58160000u | (static_cast<uint32_t>(channelCount) << 8) |
                                static_cast<uint32_t>(card));
}

// The card accepts the codes of the range table (0..3, and 255 to stop a channel).
bool isRangeCode(int16_t code) {
    return std::any_of(card::rangeTable.begin(), card::rangeTable.end(),
                       [code](const card::Range &range) { return range.code == code; });
}

std::string joinResults(const int16_t *results) {
    std::string text = "[";
    for (int i = 0; i < channelCount; ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += std::to_string(results[i]);
    }
    return text + "]";
}

}  // namespace

CardModel::CardModel(EnvLookup env, WarningSink warn)
    : env_(std::move(env)), warn_(std::move(warn)) {
    if (!warn_) {
        warn_ = [](const std::string &line) {
            std::fprintf(stderr, "QV58163 simulator: %s\n", line.c_str());
        };
    }
}

CardModel::CardState *CardModel::checkedCard(int16_t card, int32_t &result, bool outputMissing) {
    result = status::ok;
    const auto it = cards_.find(card);
    if (!open_) {
        result = status::notOpen;
    } else if (outputMissing) {
        result = status::nullPointer;
    } else if (it == cards_.end()) {
        result = status::noCard;
    } else {
        return &it->second;
    }
    return nullptr;
}

double CardModel::signalTime(const CardState &card) const {
    if (settings_.stepMs) {
        return static_cast<double>(card.reads) * *settings_.stepMs / 1000.0;
    }
    return std::chrono::duration<double>(Clock::now() - started_).count();
}

void CardModel::simulateLatency() const {
    if (settings_.delayMs > 0.0) {
        std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(settings_.delayMs));
    }
}

std::string CardModel::tracePath() const {
    return initialised_ ? settings_.tracePath : tracePathOf(env_);
}

bool CardModel::traced() const {
    return initialised_ ? !settings_.tracePath.empty() : !tracePath().empty();
}

void CardModel::trace(const std::string &line) {
    const std::string path = tracePath();
    if (path.empty()) {
        return;
    }
    // Opened and closed per line so that every line is on disk even if the program exits at once.
    if (std::FILE *file = std::fopen(path.c_str(), "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

int32_t CardModel::initial() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> warnings;
    settings_ = readSettings(env_, warnings);
    initialised_ = true;
    for (const auto &w : warnings) {
        if (warned_.insert(w).second) {
            warn_(w);
        }
    }
    cards_.clear();
    open_ = settings_.initialStatus == status::ok;
    if (open_) {
        for (const int n : settings_.cards) {
            cards_[n].ranges = settings_.rangesOf(n);
        }
        started_ = Clock::now();
    }
    simulateLatency();
    trace("QV58163_initial() = " + std::to_string(settings_.initialStatus));
    return settings_.initialStatus;
}

int32_t CardModel::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    open_ = false;
    cards_.clear();
    trace("QV58163_close() = 0");
    return status::ok;
}

int32_t CardModel::info(int16_t card, int32_t *info) {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    const std::string call = "QV58163_info(" + std::to_string(card) + ", " +
                             (info ? std::to_string(*info) : std::string("null")) + ") = ";
    int32_t result;
    checkedCard(card, result, info == nullptr);
    if (result != status::ok) {
        trace(call + std::to_string(result));
        return result;
    }
    *info = infoWord(card);
    trace(call + "0 info=" + std::to_string(*info));
    return status::ok;
}

int32_t CardModel::configRead(int16_t card, int16_t channel, uint8_t *code) {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    const std::string call =
        "QV58163_AD_config_read(" + std::to_string(card) + ", " + std::to_string(channel) + ") = ";
    int32_t result;
    CardState *c = checkedCard(card, result, code == nullptr);
    if (c && (channel < 0 || channel >= channelCount)) {
        result = status::badChannel;
    }
    if (result != status::ok) {
        trace(call + std::to_string(result));
        return result;
    }
    *code = c->ranges[channel];
    trace(call + "0 code=" + std::to_string(*code));
    return status::ok;
}

int32_t CardModel::configSet(int16_t card, int16_t channel, int16_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    int32_t result;
    CardState *c = checkedCard(card, result);
    if (c && (channel < 0 || channel >= channelCount)) {
        result = status::badChannel;
    } else if (c && !isRangeCode(code)) {
        result = status::badValue;
    } else if (c) {
        c->ranges[channel] = static_cast<uint8_t>(code);
    }
    trace("QV58163_AD_config_set(" + std::to_string(card) + ", " + std::to_string(channel) + ", " +
          std::to_string(code) + ") = " + std::to_string(result));
    return result;
}

int32_t CardModel::integralStart(int16_t card, uint8_t mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    int32_t result;
    CardState *c = checkedCard(card, result);
    if (c && mode > card::highestMode) {
        result = status::badValue;
    } else if (c) {
        c->running = true;
        c->mode = mode;
    }
    trace("QV58163_AD_integral_start(" + std::to_string(card) + ", " + std::to_string(mode) +
          ") = " + std::to_string(result));
    return result;
}

int32_t CardModel::integralAllRead(int16_t card, int16_t *results) {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    // The read is the call made ten times a second: its trace line is built only when traced.
    const bool tracing = traced();
    const auto call = [card] {
        return "QV58163_AD_integral_all_read(" + std::to_string(card) + ") = ";
    };
    int32_t result;
    CardState *c = checkedCard(card, result, results == nullptr);
    if (const auto limit = settings_.failAfterOf(card); c && limit && c->reads >= *limit) {
        result = status::cardLost;
    } else if (c && !c->running) {
        result = status::notStarted;
    }
    if (result != status::ok) {
        if (tracing) {
            trace(call() + std::to_string(result));
        }
        return result;
    }

    const double t = signalTime(*c);
    for (int ch = 0; ch < channelCount; ++ch) {
        results[ch] = averagedCode(settings_.signals[ch].at(t), c->ranges[ch], c->mode,
                                   settings_.noise, card, ch, c->samples);
    }
    std::fill(results + channelCount, results + card::slotCount, unusedSlotValue);
    c->samples += static_cast<uint64_t>(conversionsForMode(c->mode));
    ++c->reads;
    if (tracing) {
        trace(call() + "0 " + joinResults(results));
    }
    return status::ok;
}

int32_t CardModel::integralStop(int16_t card) {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    int32_t result;
    if (CardState *c = checkedCard(card, result)) {
        c->running = false;
    }
    trace("QV58163_AD_integral_stop(" + std::to_string(card) + ") = " + std::to_string(result));
    return result;
}

int32_t CardModel::valueRead() {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    trace("QV58163_AD_value_read() = " + std::to_string(status::notSupported));
    return status::notSupported;
}

int32_t CardModel::dataRead() {
    std::lock_guard<std::mutex> lock(mutex_);
    simulateLatency();
    trace("QV58163_AD_data_read() = " + std::to_string(status::notSupported));
    return status::notSupported;
}

}  // namespace qv58163::sim
