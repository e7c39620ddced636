// Runs a test body in a forked child, for code whose process-wide state is set up once.
#ifndef SPINDLEWORK_FRESH_PROCESS_H
#define SPINDLEWORK_FRESH_PROCESS_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>

// The child's failures print as they happen; the parent fails when the child did.
template <typename Body> void RunInFreshProcess(Body body)
{
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        body();
        fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the scenario failed in its own process";
}

#endif
