// The window side's calls, asserted whole. The real entry and window procedure are linked in
// here, and this exe's import slots, through which they call the system, point at recorders
// that write each call with its arguments, then make it (or stand in for it). Each case runs in
// a process of its own and ends by comparing its record with <expected-dir>/shell-<case>.txt:
//   start     start-up; then, while the message loop waits, a click whose thread cannot start,
//             a click, two positions, the end of the run, a command that is not a click and the
//             close box; the loop's end
//   register  the class cannot be registered
//   create    the main window cannot be made
//   shell_calls <expected-dir> [case]
#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "common/messages.h"
#include "e2e/import_slot.h"
#include "own_process.h"
#include "shell/main_window.h"
#include "task/task_thread.h"
#include "text_compare.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

static std::string caseName, expectedDir;
static std::vector<std::string> calls;
static HMODULE hModule;
static HICON hIcon;
static HCURSOR hCursor;
static HFONT hFont;
static HWND hMainWindow;
static const void *metrics;                          // the structure SystemParametersInfoA filled in
static const HANDLE hStandInThread = HANDLE(0x7e7e); // no thread runs: this harness plays the worker
static bool threadFails = true;

// Handles and routines by what they are, else their value.
static std::string Name(const void *h)
{
    const std::pair<const void *, const char *> known[] = {
        {nullptr, "NULL"}, {hModule, "the module"}, {hIcon, "the icon"}, {hCursor, "the cursor"}, {hFont, "the font"},
        {hStandInThread, "the thread"}, {reinterpret_cast<const void *>(&MainWndProc), "MainWndProc"},
        {reinterpret_cast<const void *>(&TaskThreadProc), "TaskThreadProc"}};
    for (const auto &k : known)
        if (h == k.first) return k.second;
    char text[64];
    if (IsWindow(HWND(h)) && GetClassNameA(HWND(h), text, sizeof text))
        return !lstrcmpiA(text, "QUILLBOXFRAME") ? "the main window" : !lstrcmpiA(text, "Button") ? "the button"
               : !lstrcmpiA(text, PROGRESS_CLASSA) ? "the bar" : std::string("a window of class ") + text;
    std::snprintf(text, sizeof text, "%p", h);
    return text;
}

// A string quoted, with CR and LF shown as \r and \n; a resource id in hex.
static std::string Text(LPCSTR s)
{
    char id[32];
    if (IS_INTRESOURCE(s)) return s ? (std::snprintf(id, sizeof id, "0x%lX", (unsigned long)ULONG_PTR(s)), id) : "NULL";
    std::string quoted = "\"";
    for (; *s; ++s) quoted += *s == '\r' ? "\\r" : *s == '\n' ? "\\n" : std::string(1, *s);
    return quoted + "\"";
}

static std::string Number(long long v) { return v == CW_USEDEFAULT ? "CW_USEDEFAULT" : std::to_string(v); }

// A line of the record, printf-style; strings may be given as they are.
template <typename T> static auto Arg(const T &v)
{
    if constexpr (std::is_same_v<T, std::string>) return v.c_str();
    else return v;
}
template <typename... A> static size_t Add(const char *format, const A &...a) { return AddLine(calls, format, Arg(a)...); }

// The process ends here, with 0 when the record is what the expected file says.
static void Finish()
{
    std::string difference = FirstDifference(ExpectedLines(expectedDir + "/shell-" + caseName + ".txt"), calls);
    std::printf("%s%s", difference.empty() ? "passed\n" : "FAILED\n", difference.c_str());
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), difference.empty() ? 0 : 1);
}

// The DLLs the shell calls into; the real function, from its DLL, since the exe's slot now points
// at the recorder.
static const char *const dlls[] = {"user32.dll", "kernel32.dll", "gdi32.dll", "comctl32.dll"};
template <typename F> static F Real(const char *function)
{
    for (const char *dll : dlls)
        if (FARPROC f = GetProcAddress(LoadLibraryA(dll), function))
            return reinterpret_cast<F>(reinterpret_cast<void *>(f));
    return nullptr;
}
#define REAL(function) Real<decltype(&function)>(#function)

// The recorders, each in the place of the function it is named after.
static void WINAPI InitCommonControlsRecorder() { Add("InitCommonControls()"), REAL(InitCommonControls)(); }
static BOOL WINAPI ShowRecorder(HWND h, int show) { return Add("ShowWindow(%s, %d)", Name(h), show), REAL(ShowWindow)(h, show); }
static BOOL WINAPI UpdateRecorder(HWND h) { return Add("UpdateWindow(%s)", Name(h)), REAL(UpdateWindow)(h); }
static BOOL WINAPI TranslateRecorder(const MSG *m) { return Add("TranslateMessage(the MSG)"), REAL(TranslateMessage)(m); }
static LRESULT WINAPI DispatchRecorder(const MSG *m) { return Add("DispatchMessageA(the MSG)"), REAL(DispatchMessageA)(m); }
static BOOL WINAPI EnableRecorder(HWND h, BOOL on) { return Add("EnableWindow(%s, %d)", Name(h), on), REAL(EnableWindow)(h, on); }
static BOOL WINAPI DeleteRecorder(HGDIOBJ h) { return Add("DeleteObject(%s)", Name(h)), REAL(DeleteObject)(h); }
static void WINAPI PostQuitRecorder(int code) { Add("PostQuitMessage(%d)", code), REAL(PostQuitMessage)(code); }
static void WINAPI ExitRecorder(UINT code) { Add("ExitProcess(%u)", code), Finish(); }
static BOOL WINAPI CloseRecorder(HANDLE h) { return Add("CloseHandle(%s)", Name(h)), h == hStandInThread || REAL(CloseHandle)(h); }

static int WINAPI MessageBoxRecorder(HWND hOwner, LPCSTR text, LPCSTR caption, UINT type)
{
    return Add("MessageBoxA(%s, %s, %s, 0x%X)", Name(hOwner), Text(text), Text(caption), type), IDOK;
}

static HMODULE WINAPI GetModuleHandleRecorder(LPCSTR name)
{
    HMODULE h = REAL(GetModuleHandleA)(name);
    return Add("GetModuleHandleA(%s) = %s", Text(name), Name(h)), h;
}

static HICON WINAPI LoadIconRecorder(HINSTANCE hInstance, LPCSTR id)
{
    hIcon = REAL(LoadIconA)(hInstance, id);
    return Add("LoadIconA(%s, %s) = %s", Name(hInstance), Text(id), Name(hIcon)), hIcon;
}

static HCURSOR WINAPI LoadCursorRecorder(HINSTANCE hInstance, LPCSTR id)
{
    hCursor = REAL(LoadCursorA)(hInstance, id);
    return Add("LoadCursorA(%s, %s) = %s", Name(hInstance), Text(id), Name(hCursor)), hCursor;
}

static ATOM WINAPI RegisterClassRecorder(const WNDCLASSA *c)
{
    ATOM atom = caseName == "register" ? 0 : REAL(RegisterClassA)(c);
    Add("RegisterClassA(style 0x%X, %s, extra %d and %d, %s, %s, %s, brush %s, menu %s, %s) = %s", c->style,
        Name(reinterpret_cast<const void *>(c->lpfnWndProc)), c->cbClsExtra, c->cbWndExtra, Name(c->hInstance),
        Name(c->hIcon), Name(c->hCursor), Number(LONG_PTR(c->hbrBackground)), Text(c->lpszMenuName),
        Text(c->lpszClassName), atom ? "an atom" : "0");
    return atom;
}

// The line comes before the window procedure's calls during the creation; the result after them.
static HWND WINAPI CreateWindowRecorder(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                                        int width, int height, HWND hParent, HMENU hMenu, HINSTANCE hInstance,
                                        LPVOID data)
{
    size_t at = Add("CreateWindowExA(0x%lX, %s, %s, 0x%08lX, %s, %s, %d, %d, %s, menu %s, %s, %s)", exStyle,
                    Text(className), Text(title), style, Number(x), Number(y), width, height, Name(hParent),
                    Number(LONG_PTR(hMenu)), Name(hInstance), Name(data));
    bool fails = caseName == "create" && !IS_INTRESOURCE(className) && !lstrcmpA(className, "QUILLBOXFRAME");
    HWND hWindow = fails ? nullptr
                         : REAL(CreateWindowExA)(exStyle, className, title, style, x, y, width, height, hParent, hMenu,
                                                 hInstance, data);
    calls[at] += " = " + Name(hWindow);
    return hWindow;
}

static LONG_PTR WINAPI GetWindowLongRecorder(HWND hWindow, int index)
{
    LONG_PTR value = Real<LONG_PTR(WINAPI *)(HWND, int)>(sizeof(void *) == 8 ? "GetWindowLongPtrA"
                                                                             : "GetWindowLongA")(hWindow, index);
    return Add("GetWindowLong(%s, %d) = %s", Name(hWindow), index, Name(reinterpret_cast<void *>(value))), value;
}

static BOOL WINAPI SystemParametersInfoRecorder(UINT action, UINT size, PVOID data, UINT flags)
{
    metrics = data;
    bool zeroed = true; // beyond cbSize, as far as the structure the program should pass
    for (UINT i = sizeof(UINT); data && i < 340; ++i) zeroed = zeroed && static_cast<const BYTE *>(data)[i] == 0;
    Add("SystemParametersInfoA(0x%X, %u, cbSize %u, the rest %s, %u)", action, size,
        data ? *static_cast<UINT *>(data) : 0, zeroed ? "zero" : "not zero", flags);
    return REAL(SystemParametersInfoA)(action, size, data, flags);
}

static HFONT WINAPI CreateFontRecorder(const LOGFONTA *font)
{
    hFont = REAL(CreateFontIndirectA)(font);
    ptrdiff_t at = reinterpret_cast<const char *>(font) - static_cast<const char *>(metrics);
    Add("CreateFontIndirectA(%s) = the font", at == offsetof(NONCLIENTMETRICSA, lfMessageFont)
                                                  ? "the metrics' lfMessageFont"
                                                  : "a LOGFONT at " + std::to_string(at) + " of the metrics");
    return hFont;
}

static LRESULT WINAPI SendRecorder(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam)
{
    Add("SendMessageA(%s, 0x%X, %s, 0x%lX)", Name(hWindow), message,
        HFONT(wParam) == hFont ? "the font" : Number(LONG_PTR(wParam)), long(lParam));
    return REAL(SendMessageA)(hWindow, message, wParam, lParam);
}

static HANDLE WINAPI CreateThreadRecorder(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE routine,
                                          LPVOID param, DWORD flags, LPDWORD id)
{
    HANDLE hThread = threadFails ? nullptr : hStandInThread;
    return Add("CreateThread(%s, %lu, %s, %s, %lu, %s) = %s", Name(security), (unsigned long)stack,
               Name(reinterpret_cast<const void *>(routine)), Name(param), flags, Name(id), Name(hThread)),
           hThread;
}

// What arrives while the loop waits, sent straight to the window procedure as the loop would
// hand it on: the person's clicks and close, and the worker's messages.
static void Meanwhile(const char *what, UINT message, WPARAM wParam, LPARAM lParam)
{
    calls.push_back(std::string("while GetMessageA waits: ") + what);
    REAL(SendMessageA)(hMainWindow, message, wParam, lParam);
}

// The first call gives the error result, which keeps the loop going; the second the quit message.
static BOOL WINAPI GetMessageRecorder(LPMSG msg, HWND hWindow, UINT first, UINT last)
{
    static int n = 0;
    Add("GetMessageA(a MSG, %s, %u, %u) = %s", Name(hWindow), first, last, n == 0 ? "-1" : "0, WM_QUIT");
    *msg = MSG{};
    if (n++) return msg->message = WM_QUIT, 0;
    hMainWindow = FindWindowA("QUILLBOXFRAME", "main window");
    LPARAM hButton = LPARAM(GetDlgItem(hMainWindow, IDC_STARTBUTTON));
    Meanwhile("a click, and no thread can be started", WM_COMMAND, MAKEWPARAM(IDC_STARTBUTTON, BN_CLICKED), hButton);
    threadFails = false;
    Meanwhile("a click", WM_COMMAND, MAKEWPARAM(IDC_STARTBUTTON, BN_CLICKED), hButton);
    Meanwhile("WM_TASKPROGRESS 42", WM_TASKPROGRESS, 42, 0);
    Meanwhile("WM_TASKPROGRESS 150, past the bar's end", WM_TASKPROGRESS, 150, 0);
    Meanwhile("WM_TASKDONE", WM_TASKDONE, 0, 0);
    Meanwhile("a command with the button's id and BN_DOUBLECLICKED", WM_COMMAND,
              MAKEWPARAM(IDC_STARTBUTTON, BN_DOUBLECLICKED), hButton);
    Meanwhile("the close box", WM_CLOSE, 0, 0);
    return -1;
}

static void RunCase()
{
    hModule = GetModuleHandleA(nullptr);
    const std::pair<const char *, ULONG_PTR> recorders[] = {
        {"InitCommonControls", ULONG_PTR(&InitCommonControlsRecorder)}, {"ShowWindow", ULONG_PTR(&ShowRecorder)},
        {"GetModuleHandleA", ULONG_PTR(&GetModuleHandleRecorder)}, {"UpdateWindow", ULONG_PTR(&UpdateRecorder)},
        {"LoadIconA", ULONG_PTR(&LoadIconRecorder)}, {"LoadCursorA", ULONG_PTR(&LoadCursorRecorder)},
        {"RegisterClassA", ULONG_PTR(&RegisterClassRecorder)}, {"CreateWindowExA", ULONG_PTR(&CreateWindowRecorder)},
        {sizeof(void *) == 8 ? "GetWindowLongPtrA" : "GetWindowLongA", ULONG_PTR(&GetWindowLongRecorder)},
        {"SystemParametersInfoA", ULONG_PTR(&SystemParametersInfoRecorder)},
        {"CreateFontIndirectA", ULONG_PTR(&CreateFontRecorder)}, {"SendMessageA", ULONG_PTR(&SendRecorder)},
        {"GetMessageA", ULONG_PTR(&GetMessageRecorder)}, {"TranslateMessage", ULONG_PTR(&TranslateRecorder)},
        {"DispatchMessageA", ULONG_PTR(&DispatchRecorder)}, {"EnableWindow", ULONG_PTR(&EnableRecorder)},
        {"CreateThread", ULONG_PTR(&CreateThreadRecorder)}, {"CloseHandle", ULONG_PTR(&CloseRecorder)},
        {"DeleteObject", ULONG_PTR(&DeleteRecorder)}, {"PostQuitMessage", ULONG_PTR(&PostQuitRecorder)},
        {"MessageBoxA", ULONG_PTR(&MessageBoxRecorder)}, {"ExitProcess", ULONG_PTR(&ExitRecorder)}};
    for (const auto &r : recorders)
        for (const char *dll : dlls)
            ReplaceImport(dll, r.first, r.second);
    calls.clear(); // what replacing the slots called
    Add("WinMain returned %d", WinMain(hModule, nullptr, GetCommandLineA(), SW_SHOWNORMAL));
    Finish();
}

int main(int argc, char **argv)
{
    if (argc < 2) return std::printf("usage: shell_calls <expected-dir> [case]\n"), 2;
    expectedDir = argv[1];
    if (argc == 4 && !std::strcmp(argv[2], "--case")) caseName = argv[3], RunCase();
    int failed = 0;
    for (const char *name : {"start", "register", "create"})
        if (argc == 2 || !std::strcmp(argv[2], name))
            std::printf("%s: ", name), failed += !PassesInItsOwnProcess("\"" + expectedDir + "\" --case " + name, 20000);
    std::printf("shell calls: %d failed\n", failed);
    return failed ? 1 : 0;
}
