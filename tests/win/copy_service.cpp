// The tests' copy stand-in against CopyFileEx as it is documented, case by case, on a source of
// 2.5 MiB copied in 1 MiB chunks. The cases whose routine is never called also run against the
// platform's CopyFileExA, which must agree.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "copy_stand_in.h"
#include "text_compare.h"

struct CopyCase {
    const char *name;
    const char *source; // "full" (2.5 MiB), "empty" or "none"
    bool oldCopy;       // an older, longer copy is there
    DWORD flags;
    int answerAt;       // the call that answers `answer`, the others PROGRESS_CONTINUE (-1: none)
    DWORD answer;
    int cancelAt;       // the call that sets the cancel flag (-1: none)
    // The result, the routine's calls (S: new stream, C: chunk done, with the bytes so far), the copy afterwards.
    const char *outcome;
};

static const CopyCase copyCases[] = {
    {"copies in chunks, replacing a longer copy", "full", true, 0, -1, 0, -1,
     "TRUE; S0 C1048576 C2097152 C2621440; the source"},
    {"an empty file: one call at 0 of 0", "empty", false, 0, -1, 0, -1, "TRUE; S0; the source"},
    {"source missing: fails before any call", "none", false, 0, -1, 0, -1, "FALSE, error 2; ; none"},
    {"COPY_FILE_FAIL_IF_EXISTS with a copy there", "full", true, COPY_FILE_FAIL_IF_EXISTS, -1, 0, -1,
     "FALSE, error 80; ; the old copy"},
    {"PROGRESS_CANCEL deletes the copy", "full", true, 0, 1, PROGRESS_CANCEL, -1, "FALSE, error 1235; S0 C1048576; none"},
    {"PROGRESS_STOP leaves the copy as far as it got", "full", false, 0, 1, PROGRESS_STOP, -1,
     "FALSE, error 1235; S0 C1048576; the first MiB"},
    {"PROGRESS_QUIET: no more calls, the copy goes on", "full", false, 0, 1, PROGRESS_QUIET, -1,
     "TRUE; S0 C1048576; the source"},
    {"the cancel flag deletes the copy", "full", false, 0, -1, 0, 1, "FALSE, error 1235; S0 C1048576; none"},
};

struct CopyRun {
    const CopyCase *c;
    long long size;
    BOOL cancel;
    std::string calls;
    int n;
};

static DWORD CALLBACK RecordCall(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER streamSize,
                                 LARGE_INTEGER streamDone, DWORD stream, DWORD reason, HANDLE hSource, HANDLE hTarget,
                                 LPVOID data)
{
    CopyRun &run = *static_cast<CopyRun *>(data);
    bool sound = total.QuadPart == run.size && streamSize.QuadPart == run.size && streamDone.QuadPart == done.QuadPart &&
                 stream == 1 && hSource && hTarget && reason == (run.n ? CALLBACK_CHUNK_FINISHED : CALLBACK_STREAM_SWITCH);
    run.calls += (run.n ? " " : "") + std::string(reason == CALLBACK_STREAM_SWITCH ? "S" : "C") +
                 std::to_string(done.QuadPart) + (sound ? "" : "(wrong arguments)");
    if (run.n == run.c->cancelAt) run.cancel = TRUE;
    return run.n++ == run.c->answerAt ? run.c->answer : PROGRESS_CONTINUE;
}

static std::string ReadAll(const char *path)
{
    std::string bytes;
    FILE *file = std::fopen(path, "rb");
    for (int c; file && (c = std::fgetc(file)) != EOF;) bytes += char(c);
    return file ? (std::fclose(file), bytes) : "(none)";
}

static void WriteAll(const char *path, const std::string &bytes)
{
    FILE *file = std::fopen(path, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

int main()
{
    const char *source = "copy-service-source.tmp", *target = "copy-service-target.tmp";
    std::string full, old(3 << 20, 'o');
    for (int k = 0; k < (5 << 19); ++k) full += char('a' + k % 23);
    int failed = 0;
    for (const CopyCase &c : copyCases)
        for (auto copy : {&CopyWithProgress, &CopyFileExA}) {
            if (copy == &CopyFileExA && !std::strstr(c.outcome, "; ; ")) continue; // Wine's calls no routine
            DeleteFileA(source), DeleteFileA(target);
            if (std::strcmp(c.source, "none")) WriteAll(source, std::strcmp(c.source, "full") ? "" : full);
            if (c.oldCopy) WriteAll(target, old);
            CopyRun run{&c, std::strcmp(c.source, "full") ? 0 : (long long)full.size(), FALSE, "", 0};
            BOOL result = copy(source, target, RecordCall, &run, &run.cancel, c.flags);
            DWORD error = GetLastError();
            std::string after = ReadAll(target);
            std::string outcome = (result ? "TRUE" : "FALSE, error " + std::to_string(error)) + "; " + run.calls +
                                  "; " + (after == "(none)" ? "none" : after == old ? "the old copy"
                                          : after == full.substr(0, 1 << 20) ? "the first MiB"
                                          : after == (std::strcmp(c.source, "full") ? "" : full) ? "the source"
                                                                                                : "something else");
            bool ok = outcome == c.outcome;
            failed += !ok;
            std::printf("%s %s copy: %s\n", ok ? "ok  " : "FAIL", copy == &CopyFileExA ? "platform's" : "stand-in", c.name);
            std::printf("%s", FirstDifference({c.outcome}, {outcome}).c_str());
        }
    DeleteFileA(source), DeleteFileA(target);
    std::printf("copy service: %d failed\n", failed);
    return failed ? 1 : 0;
}
