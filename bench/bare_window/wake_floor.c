/* The floor under the recorder's CPU figure: a process that does nothing per sample but what no
 * recorder can avoid, waking at fixed deadlines the way qv58163-record waits (sigtimedwait on the
 * blocked stop signals) and writing one 100-byte row to a file with one write() each time.
 *
 *   wake_floor COUNT INTERVAL_MS FILE
 *
 * bench/recorder_cpu.sh runs it beside the recorder: the difference is what reading the card and
 * making the row cost when every sample meets cold caches. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static long long nowNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

int main(int argc, char *argv[]) {
    if (argc != 4) {
        fprintf(stderr, "usage: wake_floor COUNT INTERVAL_MS FILE\n");
        return 64;
    }
    const long count = strtol(argv[1], NULL, 10);
    const long long interval = strtoll(argv[2], NULL, 10) * 1000000LL;
    const int fd = open(argv[3], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        perror(argv[3]);
        return 1;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, NULL);

    char row[100];
    memset(row, '1', sizeof row - 1);
    row[sizeof row - 1] = '\n';
    const long long start = nowNs();
    for (long k = 0; k < count; ++k) {
        const long long deadline = start + k * interval;
        for (long long left = deadline - nowNs(); left > 0; left = deadline - nowNs()) {
            const struct timespec timeout = {left / 1000000000LL, left % 1000000000LL};
            if (sigtimedwait(&stop, NULL, &timeout) > 0) {
                return 0;
            }
        }
        if (write(fd, row, sizeof row) != (ssize_t)sizeof row) {
            perror("write");
            return 1;
        }
    }
    close(fd);
    return 0;
}
