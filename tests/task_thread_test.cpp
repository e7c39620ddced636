// Whole runs of the worker's job in temporary directories: the files it leaves and every message it posts.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fake_memory.h"
#include "fake_messages.h"
#include "fresh_process.h"
#include "text_compare.h"
#include "task/task_thread.h"

namespace {

const HWND hWindow = (HWND)0x5e;
const long long jobBytes = 1001000000LL;
const uid_t nobody = 65534;

// One run's log in compact form (text_compare.h): the worker posts 0 and pauses, posts a position
// per block (1,001 of them; ties go to the even position, so index 10 posts 0, 30 and 50 post 2,
// 990 and 1000 post 50), copies, and the copy routine's positions and its own 100 come as one
// line; then it pauses and posts WM_TASKDONE. A copy in chunks smaller than a step posts each
// position from 51 once.
const std::string stepByStep = "51 52 53 54 55 56 57 58 59 60 61 62 63 64 65 66 67 68 69 70 71 72 73 74 75 76 77 78 "
                               "79 80 81 82 83 84 85 86 87 88 89 90 91 92 93 94 95 96 97 98 99 100×2";

std::vector<std::string> Run(const std::string &copyPositions)
{
    return {"post 0x401 to 0x5e, lParam 0: 0", "sleep 1000 ms, alertable 0",
            "post 0x401 to 0x5e, lParam 0: 0×11 1×19 2×21 3×19 4×21 5×19 6×21 7×19 8×21 9×19 10×21 11×19 12×21 "
            "13×19 14×21 15×19 16×21 17×19 18×21 19×19 20×21 21×19 22×21 23×19 24×21 25×19 26×21 27×19 28×21 29×19 "
            "30×21 31×19 32×21 33×19 34×21 35×19 36×21 37×19 38×21 39×19 40×21 41×19 42×21 43×19 44×21 45×19 46×21 "
            "47×19 48×21 49×19 50×11",
            "copy testfile.tmp to testfile2.tmp, context 0x5e, no cancel flag, flags 0",
            "post 0x401 to 0x5e, lParam 0: " + copyPositions, "sleep 1000 ms, alertable 0",
            "post 0x402 to 0x5e, lParam 0: 0"};
}

// A directory of its own under /tmp, removed with everything in it at the end of the test.
struct TempDir {
    std::string path;
    TempDir()
    {
        char name[] = "/tmp/spindlework-task-XXXXXX";
        path = mkdtemp(name);
        chmod(path.c_str(), 0777);
    }
    ~TempDir()
    {
        chmod(path.c_str(), 0777);
        if (system(("rm -rf '" + path + "'").c_str()) != 0)
            ADD_FAILURE() << "could not remove " << path;
    }
    std::string operator/(const char *name) const { return path + "/" + name; }
};

void WriteFileBytes(const std::string &path, const std::string &bytes, mode_t mode = 0644)
{
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_TRUE(file);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    chmod(path.c_str(), mode);
}

long long FileSize(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? (long long)info.st_size : -1;
}

// The file's first count bytes are all "A"; and two files' bytes the same.
bool BeginsWithA(const std::string &path, long long count)
{
    std::string n = std::to_string(count);
    return system(("head -c " + n + " /dev/zero | tr '\\0' A | cmp -s -n " + n + " - '" + path + "'").c_str()) == 0;
}

bool SameBytes(const std::string &a, const std::string &b) { return system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0; }

std::string ReadTail(const std::string &path, long long from)
{
    std::string text;
    FILE *file = fopen(path.c_str(), "rb");
    for (int c = file ? fseeko(file, from, SEEK_SET) : EOF; file && (c = fgetc(file)) != EOF;) text += (char)c;
    return file ? (fclose(file), text) : "(no file)";
}

// One job, or two in a row, in a directory of its own, in a process of its own; as an
// unprivileged user when asked.
struct JobCase {
    const char *name;
    std::function<void(const TempDir &)> prepare;
    bool unprivileged;
    int runs;
    std::function<void(const TempDir &)> check;
};

void PrintTo(const JobCase &c, std::ostream *out) { *out << c.name; }

const long long big = 2200000000LL;
const std::string tail = "the tail left by something else";

const JobCase jobCases[] = {
    {"FreshDirectoryTwiceGivesTwoFullFilesAndTheWholeSequences",
     [](const TempDir &dir) { WriteFileBytes(dir / "testfile2.tmp", "an older copy, to be replaced"); }, false, 2,
     [](const TempDir &dir) {
         EXPECT_EQ(FileSize(dir / "testfile.tmp"), jobBytes);
         EXPECT_TRUE(BeginsWithA(dir / "testfile.tmp", jobBytes));
         EXPECT_TRUE(SameBytes(dir / "testfile.tmp", dir / "testfile2.tmp"));
         // 1 MiB chunks are smaller than a step of 2%: each position from 51 to 100 once. The
         // second run starts from the first's 100%, so its call at 0 bytes reports 50.
         std::vector<std::string> log = Run(stepByStep), second = Run("50 " + stepByStep);
         log.insert(log.end(), second.begin(), second.end());
         ExpectSequence(log, Grouped(PlatformLog()));
         // The rule's own examples, index by index: ties go to the even position.
         for (auto [index, position] : {std::pair{10, 0}, {30, 2}, {50, 2}, {70, 4}, {990, 50}, {1000, 50}})
             EXPECT_EQ(PlatformLog()[2 + index], Posted(hWindow, 0x401, position)) << "index " << index;
         EXPECT_STREQ(FakeStreamBuffer(), "full 8192");
         // The blocks' memory: one region at a time, given back by the end of each run.
         EXPECT_EQ(FakeMemory().mostLiveRegions, 1);
         EXPECT_EQ(FakeMemory().liveRegions, 0);
     }},
    {"ScratchFileOver2GiBIsMeasuredNotRefused",
     [](const TempDir &dir) {
         int fd = open((dir / "testfile.tmp").c_str(), O_CREAT | O_WRONLY, 0644);
         ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), big - (long long)tail.size()), (ssize_t)tail.size());
         close(fd);
     }, false, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(FileSize(dir / "testfile.tmp"), big);
         EXPECT_TRUE(BeginsWithA(dir / "testfile.tmp", jobBytes));
         EXPECT_EQ(ReadTail(dir / "testfile.tmp", big - (long long)tail.size()), tail);
         EXPECT_TRUE(SameBytes(dir / "testfile.tmp", dir / "testfile2.tmp"));
         ExpectSequence(Run(stepByStep), Grouped(PlatformLog()));
     }},
    {"ReadOnlyScratchFileIsLeftAsItWasAndCopied",
     [](const TempDir &dir) { WriteFileBytes(dir / "testfile.tmp", "old content", 0444); }, true, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(ReadTail(dir / "testfile.tmp", 0), "old content");
         EXPECT_EQ(ReadTail(dir / "testfile2.tmp", 0), "old content");
         // One chunk: nothing at 0 bytes, then the whole file at once.
         ExpectSequence(Run("100×2"), Grouped(PlatformLog()));
     }},
    {"UnwritableDirectoryMakesNoFilesAndStillEnds", [](const TempDir &dir) { chmod(dir.path.c_str(), 0555); }, true, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(FileSize(dir / "testfile.tmp"), -1);
         EXPECT_EQ(FileSize(dir / "testfile2.tmp"), -1);
         ExpectSequence(Run("100"), Grouped(PlatformLog()));
     }},
    // A block whose memory cannot be had is skipped and the next index tries again: the blocks
    // that follow land where the skipped ones would have begun. With none at all the copy is
    // empty, 0 / 0 at every call, which reports nothing.
    {"BlocksWithoutMemoryAreSkippedAndTheNextIndexTriesAgain", [](const TempDir &) { FakeMemory().failCommits = 3; },
     false, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(FileSize(dir / "testfile.tmp"), 998000000LL);
         EXPECT_TRUE(BeginsWithA(dir / "testfile.tmp", 998000000LL));
         ExpectSequence(Run(stepByStep), Grouped(PlatformLog()));
     }},
    {"NoMemoryAtAllWritesNothing", [](const TempDir &) { FakeMemory().failCommits = 1001; }, false, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(FileSize(dir / "testfile.tmp"), 0);
         EXPECT_EQ(FileSize(dir / "testfile2.tmp"), 0);
         ExpectSequence(Run("100"), Grouped(PlatformLog()));
     }},
};

class Job : public testing::TestWithParam<JobCase> {};

TEST_P(Job, LeavesTheseFilesAndPostsThese)
{
    const JobCase &c = GetParam();
    TempDir dir;
    RunInFreshProcess([&] {
        c.prepare(dir);
        ASSERT_EQ(chdir(dir.path.c_str()), 0);
        // Root writes past any permission bit; anyone else already meets them.
        if (c.unprivileged && getuid() == 0) {
            ASSERT_EQ(setuid(nobody), 0);
        }
        for (int run = 0; run < c.runs; ++run)
            EXPECT_EQ(TaskThreadProc(hWindow), 0u);
        c.check(dir);
    });
}

// Last of all the tests: each case moves gigabytes.
INSTANTIATE_TEST_SUITE_P(Cases, Job, testing::ValuesIn(jobCases),
                         [](const testing::TestParamInfo<JobCase> &info) { return info.param.name; });

} // namespace
