/*
 * QV58163.h - the exports of the QV58163 driver library.
 *
 * Header for whoever implements the driver (the card's maker, or our simulated card) and for the
 * program, which takes its function types from here and binds each export by name at run time.
 *
 * Every export returns a 32-bit status, 0 meaning success. The panel acts only on the statuses
 * of QV58163_initial and QV58163_info, and stores or ignores the others; the recorder also acts
 * on the read's (a failed read is written and counted as such).
 *
 * Widths are fixed: card number and channel are 16-bit signed, range codes are read as unsigned
 * 8-bit and written as 16-bit signed, the integral mode is unsigned 8-bit.
 */
#ifndef QV58163_H
#define QV58163_H

#include <stdint.h>

/* On Windows the driver is QV58163.dll and its exports use the standard Win32 calling
 * convention; elsewhere the platform's C convention applies. */
#if defined(_WIN32)
#define QV58163_CALL __stdcall
#else
#define QV58163_CALL
#endif

/* Defined only while building a driver, so that its exports are visible. */
#if defined(QV58163_BUILDING_DRIVER)
#if defined(_WIN32)
#define QV58163_EXPORT __declspec(dllexport)
#else
#define QV58163_EXPORT __attribute__((visibility("default")))
#endif
#else
#define QV58163_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Number of signed 16-bit result slots behind the pointer given to QV58163_AD_integral_all_read.
 * Slots 0 to 7 hold channels 0 to 7; the driver may write all of them. */
#define QV58163_RESULT_SLOTS 25

/* Range codes exchanged with QV58163_AD_config_read / QV58163_AD_config_set. */
#define QV58163_RANGE_0_5V 0
#define QV58163_RANGE_PM5V 1
#define QV58163_RANGE_0_10V 2
#define QV58163_RANGE_PM10V 3
#define QV58163_RANGE_STOP 255

/* Opens the driver. Called once, before any other export; 0 means ready. */
QV58163_EXPORT int32_t QV58163_CALL QV58163_initial(void);

/* Closes the driver. Called on every way out of the program, possibly twice in a row. */
QV58163_EXPORT int32_t QV58163_CALL QV58163_close(void);

/* Probes card number `card`; 0 means present. `info` is passed in holding what the previous
 * probe left in it (0 before the first) and its meaning is the driver's own. */
QV58163_EXPORT int32_t QV58163_CALL QV58163_info(int16_t card, int32_t *info);

/* Writes channel `channel`'s range code (0..3, or 255 when stopped) to `*code`. */
QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_config_read(int16_t card, int16_t channel,
                                                           uint8_t *code);

/* Sets channel `channel`'s range: 0..3, or 255 to stop the channel. */
QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_config_set(int16_t card, int16_t channel,
                                                          int16_t code);

/* Starts integral-mode acquisition in mode 0..10. */
QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_start(int16_t card, uint8_t mode);

/* Reads the latest result of every channel into `results[0..7]` (QV58163_RESULT_SLOTS slots,
 * all 0 before the call). Unipolar ranges give 0..4095, bipolar ranges 12-bit two's complement
 * (-2048..2047). */
QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_all_read(int16_t card, int16_t *results);

/* Stops integral-mode acquisition. */
QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_integral_stop(int16_t card);

/* Exported by every driver but never called by the program; no parameters are fixed for them. */
QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_value_read(void);
QV58163_EXPORT int32_t QV58163_CALL QV58163_AD_data_read(void);

#ifdef __cplusplus
}
#endif

#endif /* QV58163_H */
