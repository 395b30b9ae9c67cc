/*
 * A driver with one card (0) that answers at once, for the refresh benchmark's measure of the
 * panel's own share. Channel i reports range code i % 4 (every range, twice), and each read writes
 * other counts than the last, as a live card does, so that every caption really changes.
 */
#include "QV58163.h"

static int reads;

int32_t QV58163_CALL QV58163_initial(void) {
    return 0;
}
int32_t QV58163_CALL QV58163_close(void) {
    return 0;
}
int32_t QV58163_CALL QV58163_info(int16_t card, int32_t *info) {
    (void)info;
    return card == 0 ? 0 : -1;
}
int32_t QV58163_CALL QV58163_AD_config_read(int16_t card, int16_t channel, uint8_t *code) {
    (void)card;
    *code = (uint8_t)(channel % 4);
    return 0;
}
int32_t QV58163_CALL QV58163_AD_config_set(int16_t card, int16_t channel, int16_t code) {
    (void)card, (void)channel, (void)code;
    return 0;
}
int32_t QV58163_CALL QV58163_AD_integral_start(int16_t card, uint8_t mode) {
    (void)card, (void)mode;
    return 0;
}
int32_t QV58163_CALL QV58163_AD_integral_all_read(int16_t card, int16_t *results) {
    int i;
    (void)card;
    ++reads;
    for (i = 0; i < 8; ++i) {
        results[i] = (int16_t)((reads * 41 + i * 509) % 4096 - 2048);
    }
    return 0;
}
int32_t QV58163_CALL QV58163_AD_integral_stop(int16_t card) {
    (void)card;
    return 0;
}
int32_t QV58163_CALL QV58163_AD_value_read(void) {
    return -1;
}
int32_t QV58163_CALL QV58163_AD_data_read(void) {
    return -1;
}
