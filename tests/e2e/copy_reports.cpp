// End-to-end driver, the copy phase: the copy stand-in checked, and the bar positions and
// report lines (file, pipe, console) that the rules give, against what the program made.
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver.h"

// --- The copy phase with the copy stand-in (--own-copy), its report lines and the console ---

// One check of a whole text against what it should be. On a mismatch both are printed from
// the line before the first difference (45 lines), CR and LF shown as \r and \n.
void CheckText(const std::string &what, const std::string &want, const std::string &got)
{
    Check(want == got, "%s (%zu bytes, %zu expected)", what.c_str(), got.size(), want.size());
    if (want == got) return;
    size_t at = 0, from, lines = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
    for (from = at; from > 0 && !(want[from - 1] == '\n' && ++lines == 2); --from) {}
    auto Show = [&](const char *label, const std::string &text) {
        std::string shown;
        for (size_t k = from, lf = 0; k < text.size() && lf < 45; lf += text[k++] == '\n')
            shown += text[k] == '\r' ? std::string("\\r") : text[k] == '\n' ? std::string("\\n\n      ") : std::string(1, text[k]);
        std::printf("  %s from byte %zu:\n      %s\n", label, from, shown.c_str());
    };
    std::printf("  first difference at byte %zu\n", at);
    Show("expected", want);
    Show("actual", got);
}

// The copy stand-in on its own, against the documented CopyFileEx: a table of cases on a
// source of 2.5 MiB copied in 1 MiB chunks. The cases whose routine is never called also run
// against the platform's CopyFileExA, which must agree.
struct CopyCall {
    DWORD reason;
    long long total, done, streamSize, streamDone;
    DWORD stream;
    bool handles;
};

struct CopyCase {
    const char *name;
    const char *source;     // "full" (2.5 MiB), "empty" or "none"
    bool oldTarget;         // an older, longer target is there
    DWORD flags;
    int answerAt;           // the call that answers `answer`; the others PROGRESS_CONTINUE
    DWORD answer;
    int cancelAt;           // the call that sets the cancel flag (-1: none)
    BOOL result;
    DWORD error;            // after a failure
    const char *calls;      // the routine's calls: S (new stream) or C (chunk done) and the bytes so far
    const char *target;     // afterwards: "copy" of the source, "old", "none", or "part" (the first MiB)
};

const CopyCase copyCases[] = {
    {"copies in chunks, replacing a longer file", "full", true, 0, -1, 0, -1, TRUE, 0,
     "S0 C1048576 C2097152 C2621440", "copy"},
    {"an empty file: one call at 0 of 0", "empty", false, 0, -1, 0, -1, TRUE, 0, "S0", "copy"},
    {"source missing: fails before any call", "none", false, 0, -1, 0, -1, FALSE, ERROR_FILE_NOT_FOUND, "", "none"},
    {"COPY_FILE_FAIL_IF_EXISTS with a target there", "full", true, COPY_FILE_FAIL_IF_EXISTS, -1, 0, -1, FALSE,
     ERROR_FILE_EXISTS, "", "old"},
    {"PROGRESS_CANCEL deletes the copy", "full", true, 0, 1, PROGRESS_CANCEL, -1, FALSE, ERROR_REQUEST_ABORTED,
     "S0 C1048576", "none"},
    {"PROGRESS_STOP leaves the copy as far as it got", "full", false, 0, 1, PROGRESS_STOP, -1, FALSE,
     ERROR_REQUEST_ABORTED, "S0 C1048576", "part"},
    {"PROGRESS_QUIET: no more calls, the copy goes on", "full", false, 0, 1, PROGRESS_QUIET, -1, TRUE, 0,
     "S0 C1048576", "copy"},
    {"the cancel flag deletes the copy", "full", false, 0, -1, 0, 1, FALSE, ERROR_REQUEST_ABORTED, "S0 C1048576",
     "none"},
};

struct CopyRun {
    const CopyCase *c;
    BOOL cancel;
    std::vector<CopyCall> calls;
};

DWORD CALLBACK RecordCopyCall(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER streamSize,
                              LARGE_INTEGER streamDone, DWORD stream, DWORD reason, HANDLE hSource, HANDLE hTarget,
                              LPVOID data)
{
    auto *run = static_cast<CopyRun *>(data);
    int n = int(run->calls.size());
    run->calls.push_back({reason, total.QuadPart, done.QuadPart, streamSize.QuadPart, streamDone.QuadPart, stream,
                          hSource && hTarget && hSource != INVALID_HANDLE_VALUE && hTarget != INVALID_HANDLE_VALUE});
    if (n == run->c->cancelAt) run->cancel = TRUE;
    return n == run->c->answerAt ? run->c->answer : PROGRESS_CONTINUE;
}

std::string ReadAll(const std::string &path, bool *exists = nullptr)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (exists) *exists = hFile != INVALID_HANDLE_VALUE;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (hFile != INVALID_HANDLE_VALUE && ReadFile(hFile, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    if (hFile != INVALID_HANDLE_VALUE) CloseHandle(hFile);
    return bytes;
}

void WriteAll(const std::string &path, const std::string &bytes)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(hFile, bytes.data(), DWORD(bytes.size()), &put, nullptr);
    CloseHandle(hFile);
}

void CheckCopyStandIn(const std::string &dir)
{
    char path[MAX_PATH];
    HMODULE hProbeDll = LoadProbeDll(path);
    using CopyFn = BOOL(WINAPI *)(LPCSTR, LPCSTR, LPPROGRESS_ROUTINE, LPVOID, LPBOOL, DWORD);
    auto standIn = hProbeDll ? reinterpret_cast<CopyFn>(reinterpret_cast<void *>(GetProcAddress(hProbeDll, "CopyWithProgress")))
                             : nullptr;
    Check(standIn != nullptr, "the copy stand-in CopyWithProgress in %s", path);
    if (!standIn) return;
    std::string source = dir + "\\stand-in-source.tmp", target = dir + "\\stand-in-target.tmp", full, old(3 << 20, 'o');
    for (int k = 0; k < (5 << 19); ++k) full += char('a' + k % 23);
    for (const CopyCase &c : copyCases) {
        for (CopyFn copy : {standIn, &CopyFileExA}) {
            if (copy == &CopyFileExA && *c.calls) continue; // Wine's calls no routine
            DeleteFileA(source.c_str());
            DeleteFileA(target.c_str());
            if (std::strcmp(c.source, "none")) WriteAll(source, std::strcmp(c.source, "full") ? "" : full);
            if (c.oldTarget) WriteAll(target, old);
            CopyRun run{&c, FALSE, {}};
            SetLastError(0);
            BOOL result = copy(source.c_str(), target.c_str(), RecordCopyCall, &run, &run.cancel, c.flags);
            DWORD error = result ? 0 : GetLastError();
            std::string calls;
            long long size = std::strcmp(c.source, "full") ? 0 : (long long)full.size();
            for (const CopyCall &k : run.calls) {
                bool sound = k.total == size && k.streamSize == size && k.streamDone == k.done && k.stream == 1 &&
                             k.handles && k.reason == (calls.empty() ? CALLBACK_STREAM_SWITCH : CALLBACK_CHUNK_FINISHED);
                calls += (calls.empty() ? "" : " ") + std::string(k.reason == CALLBACK_STREAM_SWITCH ? "S" : "C") +
                         std::to_string(k.done) + (sound ? "" : "(wrong arguments)");
            }
            bool exists = false;
            std::string after = ReadAll(target, &exists), wantTarget = !std::strcmp(c.target, "old") ? old
                : !std::strcmp(c.target, "part") ? full.substr(0, 1 << 20) : std::strcmp(c.source, "full") ? "" : full;
            bool targetOk = std::strcmp(c.target, "none") ? exists && after == wantTarget : !exists;
            Check(result == c.result && error == c.error && calls == c.calls && targetOk,
                  "%s copy: %s: result %d error %lu (%d %lu), calls \"%s\" (\"%s\"), target %s%s",
                  copy == standIn ? "stand-in" : "platform's", c.name, result, error, c.result, c.error, calls.c_str(),
                  c.calls, c.target, targetOk ? "" : " (not so)");
        }
    }
    DeleteFileA(source.c_str());
    DeleteFileA(target.c_str());
}

// What the copy progress rules give for one copy of total bytes in chunks of chunk bytes,
// with a call at 0 and one after every chunk: a report (a line and a bar position) at each
// call whose step (a fiftieth of the file) differs from the step of the last reported
// percentage. That percentage is rounded ties to even and carries over from run to run.
struct Report {
    long long done;
    int position;
};

std::vector<Report> RulesReports(long long total, long long chunk, int &lastPercent)
{
    std::vector<Report> reports;
    for (long long done = 0;; done = std::min(done + chunk, total)) {
        double ratio = double(done) / double(total);
        if (std::floor(ratio * 50.0) != std::floor(lastPercent / 2.0)) {
            lastPercent = int(std::nearbyint(ratio * 100.0));
            reports.push_back({done, int(std::nearbyint(lastPercent / 2.0 + 50.0))});
        }
        if (done == total) return reports;
    }
}

// The report lines as the writer's column and zone rules lay them out: a value, the zone
// fill (blanks to the next 14-column zone, or CR LF when that zone would end within 14
// columns of the line's end), the second value, CR LF. The column starts at -1 on a fresh
// plain output and at the cursor's on a console.
std::string RulesText(const std::vector<Report> &reports, long long total, int &column, int lineWidth)
{
    std::string text;
    auto Put = [&](const std::string &s) {
        text += s;
        size_t last = s.find_last_of("\r\n");
        unsigned next = last == std::string::npos ? unsigned(column) + unsigned(s.size()) : unsigned(s.size() - 1 - last);
        column = int(next % unsigned(lineWidth));
    };
    for (const Report &r : reports) {
        Put(" " + std::to_string(total));
        int zone = column / 14;
        Put(lineWidth >= 14 && 14 * (zone + 1) + 1 > lineWidth - 14 ? "\r\n" : std::string(14 - column % 14, ' '));
        Put(" " + std::to_string(r.done) + "\r\n");
    }
    return text;
}

// A console screen buffer as the writer's rules leave it, for text whose lines never reach
// the buffer's last column: characters go in at the cursor in colour 7; a line feed below
// the window's bottom row first moves the window down through the buffer, and once the
// window shows the last row, scrolls the whole content up, blanks in colour 7 coming in
// at the bottom.
struct Screen {
    int width = 0, height = 0, rows = 0; // --console
    std::string chars;
    std::vector<WORD> attributes;
    int x = 0, y = 0, top = 0;
};

void RulesConsole(Screen &s, const std::string &text)
{
    for (char c : text) {
        if (c == '\r') {
            s.x = 0;
        } else if (c == '\n') {
            s.x = 0;
            if (++s.y <= s.top + s.rows - 1) continue;
            if (s.top + s.rows < s.height) {
                ++s.top;
            } else {
                s.chars = s.chars.substr(size_t(s.width)) + std::string(size_t(s.width), ' ');
                s.attributes.erase(s.attributes.begin(), s.attributes.begin() + s.width);
                s.attributes.insert(s.attributes.end(), size_t(s.width), 7);
            }
            s.y = s.top + s.rows - 1;
        } else {
            s.chars[size_t(s.y * s.width + s.x)] = c;
            s.attributes[size_t(s.y * s.width + s.x)] = 7;
            ++s.x;
        }
    }
}

// A screen as text, one row a line: the characters, a blank, each cell's colour in hex.
std::string ScreenRows(int width, int height, const char *chars, const WORD *attributes)
{
    std::string rows;
    for (int y = 0; y < height; ++y) {
        rows += std::string(chars + y * width, size_t(width)) + " ";
        for (int x = 0; x < width; ++x) rows += attributes[y * width + x] < 16 ? "0123456789ABCDEF"[attributes[y * width + x]] : '?';
        rows += "\n";
    }
    return rows;
}

struct Reports {
    std::vector<long long> chunks; // --own-copy, one a run
    int lastPercent = 0;           // the copy routine's, as the rules carry it on
    int column = -1;               // the writer's, as the rules move it
    int lineWidth = 80;
    std::string text;              // all the report text the runs so far should have written
    std::vector<int> positions;    // this run's copy positions
    long long calls = 0;           // this run's progress calls
    LONG copiesBefore = 0, callsBefore = 0;
    Screen screen;
} reports;

// A pipe (--stdout=pipe) read on a thread of its own while the program runs.
struct PipeReader {
    HANDLE hPipe = nullptr;
    CRITICAL_SECTION lock;
    std::string bytes;
    volatile LONG ended = 0;
} pipeReader;

DWORD WINAPI ReadPipe(LPVOID)
{
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipeReader.hPipe, buffer, sizeof buffer, &got, nullptr) && got) {
        EnterCriticalSection(&pipeReader.lock);
        pipeReader.bytes.append(buffer, got);
        LeaveCriticalSection(&pipeReader.lock);
    }
    pipeReader.ended = 1;
    return 0;
}

std::string PipeBytes()
{
    EnterCriticalSection(&pipeReader.lock);
    std::string bytes = pipeReader.bytes;
    LeaveCriticalSection(&pipeReader.lock);
    return bytes;
}

bool OwnCopy() { return !reports.chunks.empty(); }

bool WantsConsole() { return reports.screen.width != 0; }

bool TakeReportOption(const std::string &a)
{
    if (a == "--own-copy") {
        reports.chunks = {1 << 20};
        return true;
    }
    if (a.rfind("--own-copy=", 0) == 0) {
        for (size_t at = 10; at != std::string::npos; at = a.find(',', at + 1))
            reports.chunks.push_back(std::atoll(a.c_str() + at + 1));
        return true;
    }
    return a.rfind("--console=", 0) == 0 && std::sscanf(a.c_str() + 10, "%dx%d,%d", &reports.screen.width,
                                                        &reports.screen.height, &reports.screen.rows) == 3;
}

void StartPipeReader(HANDLE hPipe)
{
    pipeReader.hPipe = hPipe;
    InitializeCriticalSection(&pipeReader.lock);
    CloseHandle(CreateThread(nullptr, 0, ReadPipe, nullptr, 0, nullptr));
}

// Once the program has ended: the pipe ends, and it held the report lines and nothing else.
void CheckPipeEnd()
{
    for (int k = 0; k < 100 && !pipeReader.ended; ++k) Sleep(100);
    CheckText(std::string("the pipe ended") + (pipeReader.ended ? "" : " (not within 10 s)") +
              " with nothing after the report lines", reports.text, PipeBytes());
}

void GiveConsole(const Program &p)
{
    Screen &s = reports.screen;
    p.probe->consoleWidth = s.width;
    p.probe->consoleHeight = s.height;
    p.probe->consoleRows = s.rows;
    s.chars.assign(size_t(s.width * s.height), '.');
    s.attributes.assign(size_t(s.width * s.height), 8);
    reports.column = 0; // the cursor's
    reports.lineWidth = s.width;
    Check(AskProbe(p, askConsole), "the program has a console as its standard output, a %dx%d buffer seeded with "
          "\".\", a window of %d rows", s.width, s.height, s.rows);
}

// Before a run: the stand-in in place with this run's chunk, and what the rules give for it.
void ExpectReports(const Program &p, int run)
{
    long long chunk = reports.chunks[std::min(size_t(run - 1), reports.chunks.size() - 1)];
    Check(AskProbe(p, askCopy, LPARAM(chunk)) && AskProbe(p, askLook),
          "run %d: the exe's CopyFileExA import points at the copy stand-in, %lld bytes a chunk", run, chunk);
    reports.copiesBefore = p.probe->copyCalls;
    reports.callsBefore = p.probe->progressCalls;
    reports.calls = (jobBytes + chunk - 1) / chunk + 1;
    std::vector<Report> rs = RulesReports(jobBytes, chunk, reports.lastPercent);
    reports.positions.clear();
    for (const Report &r : rs) reports.positions.push_back(r.position);
    copyPositions = &reports.positions;
    std::string text = RulesText(rs, jobBytes, reports.column, reports.lineWidth);
    reports.text += text;
    if (reports.screen.width) RulesConsole(reports.screen, text);
}

// After a run: the copy went through the stand-in, and standard output holds exactly the
// report lines of the runs so far.
void CheckReports(const Program &p, int run, const std::string &out)
{
    bool looked = AskProbe(p, askLook);
    const Probe &probe = *p.probe;
    Check(looked && probe.copyCalls - reports.copiesBefore == 1 && probe.progressCalls - reports.callsBefore == reports.calls &&
          probe.lastCopyResult, "run %d: one copy through the stand-in (%ld), %ld progress calls (%lld), succeeded (%ld)",
          run, probe.copyCalls - reports.copiesBefore, probe.progressCalls - reports.callsBefore, reports.calls,
          probe.lastCopyResult);
    std::string what = "run " + std::to_string(run) + ": " + std::to_string(reports.text.size()) +
                       " bytes of report lines as the rules give them, ";
    if (out == "pipe") {
        // The lines went into the pipe before the run ended; the reader may lag a little.
        for (int k = 0; k < 100 && PipeBytes().size() < reports.text.size(); ++k) Sleep(100);
        CheckText(what + "read from the pipe while the job ran", reports.text, PipeBytes());
    } else if (!out.empty() && out != "gone" && out != "none") {
        CheckText(what + "in " + out, reports.text, ReadAll(out));
    }
    const Screen &s = reports.screen;
    if (!s.width) return;
    const CONSOLE_SCREEN_BUFFER_INFO &info = probe.consoleInfo;
    const SMALL_RECT &w = info.srWindow;
    bool sized = probe.consoleRead && info.dwSize.X == s.width && info.dwSize.Y == s.height;
    Check(sized, "run %d: the console read, a %dx%d buffer (%dx%d)", run, info.dwSize.X, info.dwSize.Y, s.width, s.height);
    Check(info.dwCursorPosition.X == s.x && info.dwCursorPosition.Y == s.y, "run %d: console cursor at %d,%d (%d,%d)",
          run, info.dwCursorPosition.X, info.dwCursorPosition.Y, s.x, s.y);
    Check(w.Left == 0 && w.Top == s.top && w.Right == s.width - 1 && w.Bottom == s.top + s.rows - 1,
          "run %d: console window rows %d to %d, columns %d to %d (rows %d to %d, columns 0 to %d)", run, w.Top,
          w.Bottom, w.Left, w.Right, s.top, s.top + s.rows - 1, s.width - 1);
    if (sized)
        CheckText("run " + std::to_string(run) + ": the console's characters and colours, row by row",
                  ScreenRows(s.width, s.height, s.chars.data(), s.attributes.data()),
                  ScreenRows(s.width, s.height, probe.consoleChars, probe.consoleAttributes));
}
