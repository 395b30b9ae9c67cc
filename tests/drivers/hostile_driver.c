/*
 * A hostile driver for the robustness tests: every export answers with a random status, each read
 * writes random 16-bit values into all 25 slots (the extremes -32768 and 32767 often) or leaves
 * some or all of them unwritten, every probe changes the information word, and the range codes
 * come from 0..3, 4 and 255. The program must keep working on it and show exactly what the rules
 * give for what was written, so every call is logged with what came in, what went out and the
 * status.
 *
 *   QV58163_HOSTILE_SEED     seed of the random answers, taken by QV58163_initial (default 1)
 *   QV58163_HOSTILE_INITIAL  the status QV58163_initial returns (default 0)
 *   QV58163_HOSTILE_RANGE    "CHANNEL:CODE": that channel reports CODE, e.g. "3:7"
 *   QV58163_HOSTILE_LOG      file that receives one line per call:
 *       initial -> S                     close -> S
 *       info CARD IN OUT -> S            config_read CARD CHANNEL CODE -> S
 *       config_set CARD CHANNEL CODE -> S
 *       start CARD MODE -> S             stop CARD -> S
 *       read CARD V0 .. V24 -> S         (each slot's value, or - when left unwritten)
 */
#include <stdio.h>
#include <stdlib.h>

#include "QV58163.h"
#include "Random.h"

static uint64_t state = 1;

static uint64_t next_random(void) { return splitMix64(&state); }

static unsigned below(unsigned n) { return (unsigned)(next_random() % n); }

/* Half the time success, otherwise any 32-bit status at all. */
static int32_t random_status(void) {
    return below(2) == 0 ? 0 : (int32_t)(uint32_t)next_random();
}

static int16_t random_value(void) {
    static const int16_t edges[] = {-32768, 32767, 0, -1, -2048, 2047, 2048, 4095, 4096};
    switch (below(3)) {
        case 0:
            return edges[below(sizeof edges / sizeof edges[0])];
        case 1:
            return (int16_t)((int)below(6144) - 2048);
        default:
            return (int16_t)(uint16_t)next_random();
    }
}

static FILE *open_log(void) {
    const char *path = getenv("QV58163_HOSTILE_LOG");
    return path != NULL && *path != '\0' ? fopen(path, "a") : NULL;
}

static void log_line(const char *format, long a, long b, long c, long d, int32_t status) {
    FILE *file = open_log();
    if (file != NULL) {
        fprintf(file, format, a, b, c, d);
        fprintf(file, " -> %ld\n", (long)status);
        fclose(file);
    }
}

int32_t QV58163_CALL QV58163_initial(void) {
    const int32_t status = (int32_t)environmentNumber("QV58163_HOSTILE_INITIAL", 0);
    state = environmentNumber("QV58163_HOSTILE_SEED", 1);
    log_line("initial", 0, 0, 0, 0, status);
    return status;
}

int32_t QV58163_CALL QV58163_close(void) {
    const int32_t status = random_status();
    log_line("close", 0, 0, 0, 0, status);
    return status;
}

int32_t QV58163_CALL QV58163_info(int16_t card, int32_t *info) {
    const int32_t in = *info;
    const int32_t status = random_status();
    *info = (int32_t)(uint32_t)next_random();
    log_line("info %ld %ld %ld", card, in, *info, 0, status);
    return status;
}

int32_t QV58163_CALL QV58163_AD_config_read(int16_t card, int16_t channel, uint8_t *code) {
    static const uint8_t codes[] = {0, 1, 2, 3, 4, 255};
    const char *forced = getenv("QV58163_HOSTILE_RANGE");
    const int32_t status = random_status();
    int forcedChannel = -1;
    int forcedCode = 0;
    *code = codes[below(sizeof codes)];
    if (forced != NULL && sscanf(forced, "%d:%d", &forcedChannel, &forcedCode) == 2 &&
        forcedChannel == channel) {
        *code = (uint8_t)forcedCode;
    }
    log_line("config_read %ld %ld %ld", card, channel, *code, 0, status);
    return status;
}

int32_t QV58163_CALL QV58163_AD_config_set(int16_t card, int16_t channel, int16_t code) {
    const int32_t status = random_status();
    log_line("config_set %ld %ld %ld", card, channel, code, 0, status);
    return status;
}

int32_t QV58163_CALL QV58163_AD_integral_start(int16_t card, uint8_t mode) {
    const int32_t status = random_status();
    log_line("start %ld %ld", card, mode, 0, 0, status);
    return status;
}

int32_t QV58163_CALL QV58163_AD_integral_all_read(int16_t card, int16_t *results) {
    const int32_t status = random_status();
    /* Most reads write every slot; some write none, some a random few. */
    const unsigned kind = below(10);
    const uint32_t written = kind == 0 ? 0u : kind == 1 ? (uint32_t)next_random() : 0xFFFFFFFFu;
    FILE *file = open_log();
    int s;
    if (file != NULL) {
        fprintf(file, "read %d", card);
    }
    for (s = 0; s < QV58163_RESULT_SLOTS; ++s) {
        if (written >> s & 1u) {
            results[s] = random_value();
            if (file != NULL) {
                fprintf(file, " %d", results[s]);
            }
        } else if (file != NULL) {
            fputs(" -", file);
        }
    }
    if (file != NULL) {
        fprintf(file, " -> %ld\n", (long)status);
        fclose(file);
    }
    return status;
}

int32_t QV58163_CALL QV58163_AD_integral_stop(int16_t card) {
    const int32_t status = random_status();
    log_line("stop %ld", card, 0, 0, 0, status);
    return status;
}

int32_t QV58163_CALL QV58163_AD_value_read(void) { return random_status(); }
int32_t QV58163_CALL QV58163_AD_data_read(void) { return random_status(); }
