// The driver library's exports. Each one forwards to the card model; nothing else lives here.
#include <cstdlib>
#include <optional>
#include <string>

#include "CardModel.hpp"
#include "QV58163.h"

namespace {

qv58163::sim::CardModel &model() {
    static qv58163::sim::CardModel instance(
        [](const std::string &name) -> std::optional<std::string> {
            const char *value = std::getenv(name.c_str());
            return value ? std::optional<std::string>(value) : std::nullopt;
        });
    return instance;
}

}  // namespace

extern "C" {

QV58163_EXPORT int32_t QV58163_CALL QV58163_initial(void) {
    return model().initial();
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_close(void) {
    return model().close();
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_info(int16_t card, int32_t *info) {
    return model().info(card, info);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_config_read(int16_t card, int16_t channel,
                                                           uint8_t *code) {
    return model().configRead(card, channel, code);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_config_set(int16_t card, int16_t channel,
                                                          int16_t code) {
    return model().configSet(card, channel, code);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_start(int16_t card, uint8_t mode) {
    return model().integralStart(card, mode);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_all_read(int16_t card, int16_t *results) {
    return model().integralAllRead(card, results);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_stop(int16_t card) {
    return model().integralStop(card);
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_value_read(void) {
    return model().valueRead();
}

QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_data_read(void) {
    return model().dataRead();
}

}  // extern "C"
