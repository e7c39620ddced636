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
#include "task/task_thread.h"

namespace {

const HWND hWindow = (HWND)0x5e;
const long long jobBytes = 1001000000LL;
const uid_t nobody = 65534;

// index / 20 to the nearest integer, a half going to the even one.
int WritingPosition(int index)
{
    int whole = index / 20, part = index % 20;
    return whole + (part > 10 || (part == 10 && whole % 2 == 1));
}

// The whole log of one run: the copy's own posts come between the copy call and the final 100.
std::vector<std::string> ExpectedRun(const std::vector<int> &copyPositions)
{
    std::vector<std::string> log = {Posted(hWindow, 0x401, 0), "sleep 1000 0"};
    for (int index = 0; index <= 1000; ++index)
        log.push_back(Posted(hWindow, 0x401, WritingPosition(index)));
    log.push_back("copy testfile.tmp testfile2.tmp 5e null 0");
    for (int position : copyPositions)
        log.push_back(Posted(hWindow, 0x401, position));
    log.push_back(Posted(hWindow, 0x401, 100));
    log.push_back("sleep 1000 0");
    log.push_back(Posted(hWindow, 0x402, 0));
    return log;
}

std::vector<int> Range(int from, int to)
{
    std::vector<int> values;
    for (int value = from; value <= to; ++value)
        values.push_back(value);
    return values;
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

// Streams through the file: its first `count` bytes must all be `letter`. Returns the first bad offset or -1.
long long FirstNotOf(const std::string &path, char letter, long long count)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return 0;
    std::vector<char> chunk(1 << 20);
    long long offset = 0;
    while (offset < count) {
        size_t want = (size_t)std::min<long long>((long long)chunk.size(), count - offset);
        size_t got = fread(chunk.data(), 1, want, file);
        for (size_t i = 0; i < got; ++i)
            if (chunk[i] != letter) {
                fclose(file);
                return offset + (long long)i;
            }
        offset += (long long)got;
        if (got < want)
            break;
    }
    fclose(file);
    return offset == count ? -1 : offset;
}

bool SameBytes(const std::string &a, const std::string &b)
{
    std::string command = "cmp -s '" + a + "' '" + b + "'";
    return system(command.c_str()) == 0;
}

std::string ReadTail(const std::string &path, long long from)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return "(no file)";
    fseeko(file, from, SEEK_SET);
    std::string text;
    int c;
    while ((c = fgetc(file)) != EOF)
        text += (char)c;
    fclose(file);
    return text;
}

// One job, or two in a row, in a directory of its own, in a process of its own; as an
// unprivileged user when asked, since root writes past any permission bit.
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
         EXPECT_EQ(FirstNotOf(dir / "testfile.tmp", 'A', jobBytes), -1);
         EXPECT_TRUE(SameBytes(dir / "testfile.tmp", dir / "testfile2.tmp"));
         // 1 MiB chunks are smaller than a step of 2%: each position from 51 to 100 once. The
         // second run starts from the first's 100%, so its call at 0 bytes reports 50.
         std::vector<std::string> log = ExpectedRun(Range(51, 100)), second = ExpectedRun(Range(50, 100));
         log.insert(log.end(), second.begin(), second.end());
         ExpectSequence(log, PlatformLog());
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
         EXPECT_EQ(FirstNotOf(dir / "testfile.tmp", 'A', jobBytes), -1);
         EXPECT_EQ(ReadTail(dir / "testfile.tmp", big - (long long)tail.size()), tail);
         EXPECT_TRUE(SameBytes(dir / "testfile.tmp", dir / "testfile2.tmp"));
         ExpectSequence(ExpectedRun(Range(51, 100)), PlatformLog());
     }},
    {"ReadOnlyScratchFileIsLeftAsItWasAndCopied",
     [](const TempDir &dir) { WriteFileBytes(dir / "testfile.tmp", "old content", 0444); }, true, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(ReadTail(dir / "testfile.tmp", 0), "old content");
         EXPECT_EQ(ReadTail(dir / "testfile2.tmp", 0), "old content");
         // One chunk: nothing at 0 bytes, then the whole file at once.
         ExpectSequence(ExpectedRun({100}), PlatformLog());
     }},
    {"UnwritableDirectoryMakesNoFilesAndStillEnds", [](const TempDir &dir) { chmod(dir.path.c_str(), 0555); }, true, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(FileSize(dir / "testfile.tmp"), -1);
         EXPECT_EQ(FileSize(dir / "testfile2.tmp"), -1);
         ExpectSequence(ExpectedRun({}), PlatformLog());
     }},
    // A block whose memory cannot be had is skipped and the next index tries again: the blocks
    // that follow land where the skipped ones would have begun. With none at all the copy is
    // empty, 0 / 0 at every call, which reports nothing.
    {"BlocksWithoutMemoryAreSkippedAndTheNextIndexTriesAgain", [](const TempDir &) { FakeMemory().failCommits = 3; },
     false, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(FileSize(dir / "testfile.tmp"), 998000000LL);
         EXPECT_EQ(FirstNotOf(dir / "testfile.tmp", 'A', 998000000LL), -1);
         ExpectSequence(ExpectedRun(Range(51, 100)), PlatformLog());
     }},
    {"NoMemoryAtAllWritesNothing", [](const TempDir &) { FakeMemory().failCommits = 1001; }, false, 1,
     [](const TempDir &dir) {
         EXPECT_EQ(FileSize(dir / "testfile.tmp"), 0);
         EXPECT_EQ(FileSize(dir / "testfile2.tmp"), 0);
         ExpectSequence(ExpectedRun({}), PlatformLog());
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
        if (c.unprivileged) {
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
