// Benchmark helper for Linux: times the job's phases from the file events in its working
// directory, without touching the program that does the job.
//   bench_watch <dir> <timeout-seconds>
// Prints "watching" once the watch is set, then, with CLOCK_MONOTONIC milliseconds taken
// the moment each event is read:
//   first-change <ms>   the first change of testfile.tmp, its creation or its first write
//                       (the writing phase begins)
//   written <ms>        its first close after that change (the writing phase ends)
//   copied <ms>         the first close of testfile2.tmp after that (the copy ends)
// and exits 0 after "copied"; 1 on timeout or error. Runs at a real-time priority when it may,
// so that a busy machine does not delay its reading of the events; it wakes only for those
// few events, since it stops asking for changes once it has seen the first.
#define _GNU_SOURCE
#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <time.h>
#include <unistd.h>

static double NowMs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: bench_watch <dir> <timeout-seconds>\n");
        return 2;
    }
    const char *dir = argv[1];
    double deadline = NowMs() + atof(argv[2]) * 1000.0;

    struct sched_param priority = {.sched_priority = 50};
    sched_setscheduler(0, SCHED_FIFO, &priority); // a plain priority will do when refused

    int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0 || inotify_add_watch(fd, dir, IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE) < 0) {
        fprintf(stderr, "bench_watch: cannot watch %s: %s\n", dir, strerror(errno));
        return 1;
    }
    printf("watching\n");
    fflush(stdout);

    // 0: waiting for the first change, 1: for the close of testfile.tmp, 2: for testfile2.tmp's.
    int stage = 0;
    char buffer[64 * (sizeof(struct inotify_event) + NAME_MAX + 1)]
        __attribute__((aligned(__alignof__(struct inotify_event))));
    while (stage < 3) {
        struct pollfd waitFor = {.fd = fd, .events = POLLIN};
        int left = (int)(deadline - NowMs());
        if (left <= 0 || poll(&waitFor, 1, left) == 0) {
            fprintf(stderr, "bench_watch: timed out at stage %d\n", stage);
            return 1;
        }
        ssize_t length = read(fd, buffer, sizeof buffer);
        double now = NowMs();
        if (length < 0) {
            if (errno == EINTR)
                continue;
            fprintf(stderr, "bench_watch: read: %s\n", strerror(errno));
            return 1;
        }
        for (char *at = buffer; at < buffer + length && stage < 3;) {
            const struct inotify_event *event = (const struct inotify_event *)at;
            at += sizeof *event + event->len;
            const char *name = event->len ? event->name : "";
            if (stage == 0 && (event->mask & (IN_CREATE | IN_MODIFY)) && !strcmp(name, "testfile.tmp")) {
                printf("first-change %.3f\n", now);
                // From here on only closes matter: the program's thousands of writes
                // should not wake us.
                if (inotify_add_watch(fd, dir, IN_CLOSE_WRITE) < 0) {
                    fprintf(stderr, "bench_watch: cannot rewatch %s: %s\n", dir, strerror(errno));
                    return 1;
                }
                stage = 1;
            } else if (stage == 1 && (event->mask & IN_CLOSE_WRITE) && !strcmp(name, "testfile.tmp")) {
                printf("written %.3f\n", now);
                stage = 2;
            } else if (stage == 2 && (event->mask & IN_CLOSE_WRITE) && !strcmp(name, "testfile2.tmp")) {
                printf("copied %.3f\n", now);
                stage = 3;
            }
        }
        fflush(stdout);
    }
    return 0;
}
