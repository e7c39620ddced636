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

static int Fail(const char *what, const char *why)
{
    fprintf(stderr, "bench_watch: %s: %s\n", what, why);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 3) return Fail("usage", "bench_watch <dir> <timeout-seconds>");
    const char *dir = argv[1];
    double deadline = NowMs() + atof(argv[2]) * 1000.0;

    struct sched_param priority = {.sched_priority = 50};
    sched_setscheduler(0, SCHED_FIFO, &priority); // a plain priority will do when refused

    int fd = inotify_init1(IN_CLOEXEC);
    if (fd < 0 || inotify_add_watch(fd, dir, IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE) < 0)
        return Fail(dir, strerror(errno));
    printf("watching\n");
    fflush(stdout);

    // Stage 0: waiting for the first change, 1: for the close of testfile.tmp, 2: for testfile2.tmp's.
    static const char *const stageEvent[] = {"first-change", "written", "copied"};
    static const char *const stageFile[] = {"testfile.tmp", "testfile.tmp", "testfile2.tmp"};
    int stage = 0;
    char buffer[64 * (sizeof(struct inotify_event) + NAME_MAX + 1)]
        __attribute__((aligned(__alignof__(struct inotify_event))));
    while (stage < 3) {
        struct pollfd waitFor = {.fd = fd, .events = POLLIN};
        int left = (int)(deadline - NowMs());
        if (left <= 0 || poll(&waitFor, 1, left) == 0) return Fail("timed out waiting for", stageEvent[stage]);
        ssize_t length = read(fd, buffer, sizeof buffer);
        double now = NowMs();
        if (length < 0 && errno != EINTR) return Fail("read", strerror(errno));
        for (char *at = buffer; at < buffer + length && stage < 3;) {
            const struct inotify_event *event = (const struct inotify_event *)at;
            at += sizeof *event + event->len;
            unsigned wanted = stage == 0 ? IN_CREATE | IN_MODIFY : IN_CLOSE_WRITE;
            if (!(event->mask & wanted) || strcmp(event->len ? event->name : "", stageFile[stage])) continue;
            printf("%s %.3f\n", stageEvent[stage], now);
            // From here on only closes matter: the program's thousands of writes should not wake us.
            if (stage++ == 0 && inotify_add_watch(fd, dir, IN_CLOSE_WRITE) < 0) return Fail(dir, strerror(errno));
        }
        fflush(stdout);
    }
    return 0;
}
