/* Times a program's start-up as the X server sees it: from just before the program is started to
 * the MapNotify event of its top-level window, then its peak resident memory.
 *
 *   startup_probe TITLE SETTLE_MS PROGRAM [ARGS...]
 *
 * Listens for SubstructureNotify on the root window (no window manager: top-level windows are the
 * root's children), starts PROGRAM, and waits for the first window titled TITLE to be mapped. It
 * then lets the program run SETTLE_MS more milliseconds (its first paint), ends it with SIGTERM and
 * prints one line "SHOWN_MS PEAK_RSS_KIB CPU_MS": the peak is over the program's whole lifetime
 * (wait4), CPU_MS the processor time all its threads had used when the window was mapped, which
 * unlike SHOWN_MS does not grow when other processes compete for the machine.
 * Exit status 1 if the window does not appear within 30 s or the program ends before. */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/* WM_NAME as the program set it (Qt gives it as UTF8_STRING, so any type is taken). */
static int has_title(Display *display, Window window, const char *title) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *name = NULL;
    int same = 0;
    if (XGetWindowProperty(display, window, XA_WM_NAME, 0, 1024, False, AnyPropertyType, &type,
                           &format, &count, &after, &name) == Success &&
        name != NULL) {
        same = format == 8 && count == strlen(title) && memcmp(name, title, count) == 0;
        XFree(name);
    }
    return same;
}

/* An X error about a window that went away between its event and our question is no fault. */
static int ignore_error(Display *display, XErrorEvent *error) {
    (void)display;
    (void)error;
    return 0;
}

/* Processor time of all the process's threads so far, ms (from the scheduler's own accounts). */
static double cpu_ms(pid_t pid) {
    char pattern[64];
    snprintf(pattern, sizeof pattern, "/proc/%d/task", (int)pid);
    DIR *tasks = opendir(pattern);
    double total = 0;
    struct dirent *task;
    while (tasks != NULL && (task = readdir(tasks)) != NULL) {
        if (task->d_name[0] == '.') {
            continue;
        }
        char path[384];
        snprintf(path, sizeof path, "%s/%s/schedstat", pattern, task->d_name);
        FILE *stat = fopen(path, "r");
        unsigned long long ns = 0;
        if (stat != NULL && fscanf(stat, "%llu", &ns) == 1) {
            total += ns / 1e6;
        }
        if (stat != NULL) {
            fclose(stat);
        }
    }
    if (tasks != NULL) {
        closedir(tasks);
    }
    return total;
}

static void finish(pid_t child, int settle_ms, double shown_ms, double used_ms) {
    struct rusage usage;
    int status;
    if (settle_ms > 0) {
        struct timespec pause = {settle_ms / 1000, (long)(settle_ms % 1000) * 1000000L};
        nanosleep(&pause, NULL);
    }
    kill(child, SIGTERM);
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    if (shown_ms < 0) {
        exit(1);
    }
    printf("%.2f %ld %.2f\n", shown_ms, usage.ru_maxrss, used_ms);
}

int main(int argc, char *argv[]) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s TITLE SETTLE_MS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const char *title = argv[1];
    const int settle_ms = atoi(argv[2]);
    /* The server may still be busy with the previous run's program going away: a few tries. */
    Display *display = NULL;
    for (int attempt = 0; attempt < 50 && display == NULL; ++attempt) {
        display = XOpenDisplay(NULL);
        if (display == NULL) {
            usleep(20000);
        }
    }
    if (display == NULL) {
        fprintf(stderr, "startup_probe: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(ignore_error);
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False); /* subscribed before the program can map anything */

    const double start = now_ms();
    const pid_t child = fork();
    if (child == 0) {
        close(ConnectionNumber(display));
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    if (child < 0) {
        perror("startup_probe: fork");
        return 2;
    }

    struct pollfd x = {ConnectionNumber(display), POLLIN, 0};
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && has_title(display, event.xmap.window, title)) {
                const double shown = now_ms() - start;
                finish(child, settle_ms, shown, cpu_ms(child));
                return 0;
            }
        }
        if (waitpid(child, NULL, WNOHANG) == child) {
            fprintf(stderr, "startup_probe: %s ended before its window was mapped\n", argv[3]);
            return 1;
        }
        if (now_ms() - start > 30000) {
            fprintf(stderr, "startup_probe: no window \"%s\" in 30 s\n", title);
            finish(child, 0, -1, 0);
        }
        poll(&x, 1, 50);
    }
}
