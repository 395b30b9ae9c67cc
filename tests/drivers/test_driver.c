/*
 * A small driver for the binding tests. Built several times, each copy named libQV58163.so in a
 * directory of its own and told apart by the status its QV58163_initial returns
 * (TEST_DRIVER_ID). With TEST_DRIVER_NO_STOP the copy lacks QV58163_AD_integral_stop; with
 * TEST_DRIVER_CHANGING_READS each read writes other counts than the last, as a live card does.
 * When QV58163_TEST_LOG names a file, every call is appended to it as "NAME(ARGS)".
 */
#include <stdio.h>
#include <stdlib.h>

#include "QV58163.h"

static void log_call(const char *format, int a, int b, int c) {
    const char *path = getenv("QV58163_TEST_LOG");
    FILE *file = path != NULL ? fopen(path, "a") : NULL;
    if (file != NULL) {
        fprintf(file, format, a, b, c);
        fputc('\n', file);
        fclose(file);
    }
}

int32_t QV58163_CALL QV58163_initial(void) {
    log_call("QV58163_initial()", 0, 0, 0);
    return TEST_DRIVER_ID;
}

int32_t QV58163_CALL QV58163_close(void) {
    log_call("QV58163_close()", 0, 0, 0);
    return 0;
}

/* Card 1 answers. */
int32_t QV58163_CALL QV58163_info(int16_t card, int32_t *info) {
    log_call("QV58163_info(%d, %d)", card, *info, 0);
    *info += 1;
    return card == 1 ? 0 : 1;
}

/* Channel i reports range code i % 4. */
int32_t QV58163_CALL QV58163_AD_config_read(int16_t card, int16_t channel, uint8_t *code) {
    log_call("QV58163_AD_config_read(%d, %d)", card, channel, 0);
    *code = (uint8_t)(channel % 4);
    return 0;
}

int32_t QV58163_CALL QV58163_AD_config_set(int16_t card, int16_t channel, int16_t code) {
    log_call("QV58163_AD_config_set(%d, %d, %d)", card, channel, code);
    return 0;
}

int32_t QV58163_CALL QV58163_AD_integral_start(int16_t card, uint8_t mode) {
    log_call("QV58163_AD_integral_start(%d, %d)", card, mode, 0);
    return 0;
}

/* Channel i reads 100 * (i + 1), or changing counts. */
int32_t QV58163_CALL QV58163_AD_integral_all_read(int16_t card, int16_t *results) {
    int i;
#if defined(TEST_DRIVER_CHANGING_READS)
    static int reads;
    ++reads;
#endif
    log_call("QV58163_AD_integral_all_read(%d)", card, 0, 0);
    for (i = 0; i < 8; ++i) {
#if defined(TEST_DRIVER_CHANGING_READS)
        results[i] = (int16_t)((reads * 41 + i * 509) % 4096 - 2048);
#else
        results[i] = (int16_t)(100 * (i + 1));
#endif
    }
    return 0;
}

#if !defined(TEST_DRIVER_NO_STOP)
int32_t QV58163_CALL QV58163_AD_integral_stop(int16_t card) {
    log_call("QV58163_AD_integral_stop(%d)", card, 0, 0);
    return 0;
}
#endif

int32_t QV58163_CALL QV58163_AD_value_read(void) { return -1; }
int32_t QV58163_CALL QV58163_AD_data_read(void) { return -1; }
