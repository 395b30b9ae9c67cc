// The driver library's exports. Each one forwards to the card model; nothing else lives here.
#include <cstdlib>
#include <optional>
#include <string>

#include "QV58163.h"
#include "card_model.hpp"

namespace {

qv58163sim::Driver &driver() {
    static qv58163sim::Driver instance([](const std::string &name) -> std::optional<std::string> {
        const char *value = std::getenv(name.c_str());
        return value ? std::optional<std::string>(value) : std::nullopt;
    });
    return instance;
}

}  // namespace

extern "C" {

QV58163_EXPORT int32_t QV58163_CALL QV58163_initial(void) {
    return driver().initial();
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_close(void) {
    return driver().close();
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_info(int16_t card, int32_t *info) {
    return driver().info(card, info);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_config_read(int16_t card, int16_t channel,
                                                           uint8_t *code) {
    return driver().config_read(card, channel, code);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_config_set(int16_t card, int16_t channel,
                                                          int16_t code) {
    return driver().config_set(card, channel, code);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_start(int16_t card, uint8_t mode) {
    return driver().integral_start(card, mode);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_all_read(int16_t card, int16_t *results) {
    return driver().integral_all_read(card, results);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_stop(int16_t card) {
    return driver().integral_stop(card);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_value_read(void) {
    return driver().value_read();
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_data_read(void) {
    return driver().data_read();
}

}  // extern "C"
