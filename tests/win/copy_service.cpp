// The tests' copy stand-in against CopyFileEx as it is documented, case by case, on a source of 2.5 MiB
// copied in 1 MiB chunks. The cases whose routine only goes on also run against the platform's CopyFileExA,
// which must agree on the result and the files (not on the calls: Wine's calls no routine).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "copy_stand_in.h"
#include "text_compare.h"

static const char *sourceName = "copy-service-source.tmp", *targetName = "copy-service-target.tmp";
const DWORD setCancelFlag = 98, cutTheSource = 99; // not answers: the routine does that, then goes on

struct CopyCase {
    const char *name;
    const char *source; // "full" (2.5 MiB), "empty" or "none"
    bool oldCopy;       // an older, longer copy is there
    DWORD attributes;   // given to the old copy if there is one, else to the source
    DWORD flags;
    int answerAt;       // the call that answers `answer`, the others PROGRESS_CONTINUE (-1: none)
    DWORD answer;
    // The result, the routine's calls (S: new stream, C: chunk done, with the bytes so far), the copy afterwards.
    const char *outcome;
};

const DWORD readOnly = FILE_ATTRIBUTE_READONLY, hidden = FILE_ATTRIBUTE_HIDDEN;
static const CopyCase copyCases[] = {
    {"copies in chunks over a longer copy, at full length from the first chunk call (that: seen on Windows, not "
     "documented)", "full", true, 0, 0, -1, 0, "TRUE; S0 C1048576 C2097152 C2621440; the source"},
    {"an empty file: one call at 0 of 0", "empty", false, 0, 0, -1, 0, "TRUE; S0; the source"},
    {"source missing: fails before any call", "none", false, 0, 0, -1, 0, "FALSE, error 2; ; none"},
    {"COPY_FILE_FAIL_IF_EXISTS with a copy there", "full", true, 0, COPY_FILE_FAIL_IF_EXISTS, -1, 0,
     "FALSE, error 80; ; the old copy"},
    {"a read-only source gives a read-only copy", "full", false, readOnly, 0, -1, 0,
     "TRUE; S0 C1048576 C2097152 C2621440; the source, read-only"},
    {"a read-only copy there: refused before any call, left as it was (documented; Wine differs)", "full", true,
     readOnly, 0, -1, 0, "FALSE, error 5; ; the old copy, read-only"},
    {"a hidden copy there: refused before any call, left as it was (documented; Wine differs)", "full", true, hidden,
     0, -1, 0, "FALSE, error 5; ; the old copy, hidden"},
    {"PROGRESS_CANCEL deletes the copy", "full", true, 0, 0, 1, PROGRESS_CANCEL,
     "FALSE, error 1235; S0 C1048576; none"},
    {"PROGRESS_STOP leaves the copy as far as it got", "full", false, 0, 0, 1, PROGRESS_STOP,
     "FALSE, error 1235; S0 C1048576; the first MiB, zeros to the source's length"},
    {"PROGRESS_QUIET: no more calls, the copy goes on", "full", false, 0, 0, 1, PROGRESS_QUIET,
     "TRUE; S0 C1048576; the source"},
    {"the cancel flag deletes the copy", "full", false, 0, 0, 1, setCancelFlag, "FALSE, error 1235; S0 C1048576; none"},
    // A write cannot be made to fail here without a full disk (the end-to-end disk-full has one); a read can.
    {"a failed read deletes the copy", "full", false, 0, 0, 1, cutTheSource, "FALSE, error 29; S0 C1048576; none"},
};

struct CopyRun {
    const CopyCase *c;
    long long size;
    BOOL cancel;
    std::string calls;
    int n;
};

static std::string ReadAll(const char *path)
{
    std::string bytes;
    FILE *file = std::fopen(path, "rb");
    for (int c; file && (c = std::fgetc(file)) != EOF;) bytes += char(c);
    return file ? (std::fclose(file), bytes) : "(none)";
}

static DWORD CALLBACK RecordCall(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER streamSize,
                                 LARGE_INTEGER streamDone, DWORD stream, DWORD reason, HANDLE hSource, HANDLE hTarget,
                                 LPVOID data)
{
    CopyRun &run = *static_cast<CopyRun *>(data);
    bool sound = total.QuadPart == run.size && streamSize.QuadPart == run.size && streamDone.QuadPart == done.QuadPart &&
                 stream == 1 && hSource && hTarget && reason == (run.n ? CALLBACK_CHUNK_FINISHED : CALLBACK_STREAM_SWITCH);
    size_t length = ReadAll(targetName).size();
    run.calls += (run.n ? " " : "") + std::string(reason == CALLBACK_STREAM_SWITCH ? "S" : "C") +
                 std::to_string(done.QuadPart) + (sound ? "" : "(wrong arguments)") +
                 (run.n && length != size_t(run.size) ? "(the copy at " + std::to_string(length) + " bytes)" : "");
    if (run.n++ != run.c->answerAt) return PROGRESS_CONTINUE;
    if (run.c->answer == setCancelFlag) run.cancel = TRUE;
    if (run.c->answer == cutTheSource) std::fclose(std::fopen(sourceName, "wb"));
    return run.c->answer < setCancelFlag ? run.c->answer : PROGRESS_CONTINUE;
}

static void WriteAll(const char *path, const std::string &bytes, DWORD attributes)
{
    FILE *file = std::fopen(path, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    SetFileAttributesA(path, attributes);
}

static void Remove(const char *path) { SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL), DeleteFileA(path); }

int main()
{
    std::string full, old(3 << 20, 'o');
    for (int k = 0; k < (5 << 19); ++k) full += char('a' + k % 23);
    int failed = 0;
    for (const CopyCase &c : copyCases)
        for (auto copy : {&CopyWithProgress, &CopyFileExA}) {
            bool platform = copy == &CopyFileExA;
            if (platform && (c.answerAt >= 0 || std::strstr(c.name, "Wine differs"))) continue;
            Remove(sourceName), Remove(targetName);
            std::string bytes = std::strcmp(c.source, "full") ? "" : full, expected = c.outcome;
            if (std::strcmp(c.source, "none")) WriteAll(sourceName, bytes, c.oldCopy ? 0 : c.attributes);
            if (c.oldCopy) WriteAll(targetName, old, c.attributes);
            CopyRun run{&c, (long long)bytes.size(), FALSE, "", 0};
            BOOL result = copy(sourceName, targetName, RecordCall, &run, &run.cancel, c.flags);
            DWORD error = GetLastError(), attributes = GetFileAttributesA(targetName);
            std::string after = ReadAll(targetName);
            if (platform) expected.erase(expected.find("; ") + 2, expected.rfind("; ") - expected.find("; ") - 2);
            std::string outcome =
                (result ? "TRUE" : "FALSE, error " + std::to_string(error)) + "; " + (platform ? "" : run.calls) +
                "; " + (after == "(none)" ? "none" : after == old ? "the old copy" : after == bytes ? "the source"
                        : after == full.substr(0, 1 << 20) + std::string(full.size() - (1 << 20), 0)
                            ? "the first MiB, zeros to the source's length" : "something else") +
                (after == "(none)" ? "" : attributes & readOnly ? ", read-only" : attributes & hidden ? ", hidden" : "");
            bool ok = outcome == expected;
            failed += !ok;
            std::printf("%s %s copy: %s\n%s", ok ? "ok  " : "FAIL", platform ? "platform's" : "stand-in", c.name,
                        FirstDifference({expected}, {outcome}).c_str());
        }
    Remove(sourceName), Remove(targetName);
    std::printf("copy service: %d failed\n", failed);
    return failed ? 1 : 0;
}
