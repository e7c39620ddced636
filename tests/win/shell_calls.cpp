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

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
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
static const void *metrics;                      // the structure SystemParametersInfoA filled in
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

static std::string Text(LPCSTR s)
{
    if (!s) return "NULL";
    char id[32];
    if (IS_INTRESOURCE(s)) return std::snprintf(id, sizeof id, "0x%lX", (unsigned long)ULONG_PTR(s)), id;
    std::string quoted = "\"";
    for (; *s; ++s) quoted += *s == '\r' ? "\\r" : *s == '\n' ? "\\n" : std::string(1, *s);
    return quoted + "\"";
}

static std::string Number(long long v) { return v == CW_USEDEFAULT ? "CW_USEDEFAULT" : std::to_string(v); }

static size_t Add(const char *format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    calls.push_back(text);
    return calls.size() - 1;
}

// The process ends here, with 0 when the record is what the expected file says.
static void Finish()
{
    std::string difference = FirstDifference(ExpectedLines(expectedDir + "/shell-" + caseName + ".txt"), calls);
    std::printf("%s%s", difference.empty() ? "passed\n" : "FAILED\n", difference.c_str());
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), difference.empty() ? 0 : 1);
}

// The real function, from its DLL: the exe's slot now points at the recorder.
template <typename F> static F Real(const char *function)
{
    for (const char *dll : {"user32.dll", "kernel32.dll", "gdi32.dll", "comctl32.dll"})
        if (FARPROC f = GetProcAddress(LoadLibraryA(dll), function)) return reinterpret_cast<F>(reinterpret_cast<void *>(f));
    return nullptr;
}
#define REAL(function) Real<decltype(&function)>(#function)

static void WINAPI InitCommonControlsRecorder() { Add("InitCommonControls()"), REAL(InitCommonControls)(); }

static HMODULE WINAPI GetModuleHandleRecorder(LPCSTR name)
{
    HMODULE h = REAL(GetModuleHandleA)(name);
    return Add("GetModuleHandleA(%s) = %s", Text(name).c_str(), Name(h).c_str()), h;
}

static HICON WINAPI LoadIconRecorder(HINSTANCE hInstance, LPCSTR id)
{
    hIcon = REAL(LoadIconA)(hInstance, id);
    return Add("LoadIconA(%s, %s) = %s", Name(hInstance).c_str(), Text(id).c_str(), Name(hIcon).c_str()), hIcon;
}

static HCURSOR WINAPI LoadCursorRecorder(HINSTANCE hInstance, LPCSTR id)
{
    hCursor = REAL(LoadCursorA)(hInstance, id);
    return Add("LoadCursorA(%s, %s) = %s", Name(hInstance).c_str(), Text(id).c_str(), Name(hCursor).c_str()), hCursor;
}

static ATOM WINAPI RegisterClassRecorder(const WNDCLASSA *c)
{
    ATOM atom = caseName == "register" ? 0 : REAL(RegisterClassA)(c);
    Add("RegisterClassA(style 0x%X, %s, extra %d and %d, %s, %s, %s, brush %s, menu %s, %s) = %s", c->style,
        Name(reinterpret_cast<const void *>(c->lpfnWndProc)).c_str(), c->cbClsExtra, c->cbWndExtra,
        Name(c->hInstance).c_str(), Name(c->hIcon).c_str(), Name(c->hCursor).c_str(),
        Number(LONG_PTR(c->hbrBackground)).c_str(), Text(c->lpszMenuName).c_str(), Text(c->lpszClassName).c_str(),
        atom ? "an atom" : "0");
    return atom;
}

// The line comes before the window procedure's calls during the creation; the result after them.
static HWND WINAPI CreateWindowRecorder(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                                        int width, int height, HWND hParent, HMENU hMenu, HINSTANCE hInstance,
                                        LPVOID data)
{
    size_t at = Add("CreateWindowExA(0x%lX, %s, %s, 0x%08lX, %s, %s, %d, %d, %s, menu %s, %s, %s)", exStyle,
                    Text(className).c_str(), Text(title).c_str(), style, Number(x).c_str(), Number(y).c_str(), width,
                    height, Name(hParent).c_str(), Number(LONG_PTR(hMenu)).c_str(), Name(hInstance).c_str(),
                    Name(data).c_str());
    bool fails = caseName == "create" && !IS_INTRESOURCE(className) && !lstrcmpA(className, "QUILLBOXFRAME");
    HWND hWindow = fails ? nullptr : REAL(CreateWindowExA)(exStyle, className, title, style, x, y, width, height, hParent,
                                                       hMenu, hInstance, data);
    calls[at] += " = " + Name(hWindow);
    return hWindow;
}

static LONG_PTR WINAPI GetWindowLongRecorder(HWND hWindow, int index)
{
    LONG_PTR value = Real<LONG_PTR(WINAPI *)(HWND, int)>(sizeof(void *) == 8 ? "GetWindowLongPtrA" : "GetWindowLongA")(
        hWindow, index);
    Add("GetWindowLong(%s, %d) = %s", Name(hWindow).c_str(), index, Name(reinterpret_cast<void *>(value)).c_str());
    return value;
}

static BOOL WINAPI SystemParametersInfoRecorder(UINT action, UINT size, PVOID data, UINT flags)
{
    metrics = data;
    const BYTE *bytes = static_cast<const BYTE *>(data);
    bool zeroed = true; // beyond cbSize, as far as the structure the program should pass
    for (UINT i = sizeof(UINT); data && i < 340; ++i) zeroed = zeroed && bytes[i] == 0;
    Add("SystemParametersInfoA(0x%X, %u, cbSize %u, the rest %s, %u)", action, size,
        data ? *static_cast<UINT *>(data) : 0, zeroed ? "zero" : "not zero", flags);
    return REAL(SystemParametersInfoA)(action, size, data, flags);
}

static HFONT WINAPI CreateFontRecorder(const LOGFONTA *font)
{
    hFont = REAL(CreateFontIndirectA)(font);
    ptrdiff_t at = reinterpret_cast<const char *>(font) - static_cast<const char *>(metrics);
    Add("CreateFontIndirectA(%s) = the font", at == offsetof(NONCLIENTMETRICSA, lfMessageFont)
        ? "the metrics' lfMessageFont" : ("a LOGFONT at " + std::to_string(at) + " of the metrics").c_str());
    return hFont;
}

static LRESULT WINAPI SendRecorder(HWND hWindow, UINT message, WPARAM wParam, LPARAM lParam)
{
    Add("SendMessageA(%s, 0x%X, %s, 0x%lX)", Name(hWindow).c_str(), message,
        HFONT(wParam) == hFont ? "the font" : Number(LONG_PTR(wParam)).c_str(), long(lParam));
    return REAL(SendMessageA)(hWindow, message, wParam, lParam);
}

static BOOL WINAPI ShowRecorder(HWND h, int command) { return Add("ShowWindow(%s, %d)", Name(h).c_str(), command), REAL(ShowWindow)(h, command); }
static BOOL WINAPI UpdateRecorder(HWND h) { return Add("UpdateWindow(%s)", Name(h).c_str()), REAL(UpdateWindow)(h); }
static BOOL WINAPI TranslateRecorder(const MSG *msg) { return Add("TranslateMessage(the MSG)"), REAL(TranslateMessage)(msg); }
static LRESULT WINAPI DispatchRecorder(const MSG *msg) { return Add("DispatchMessageA(the MSG)"), REAL(DispatchMessageA)(msg); }
static BOOL WINAPI EnableRecorder(HWND h, BOOL on) { return Add("EnableWindow(%s, %d)", Name(h).c_str(), on), REAL(EnableWindow)(h, on); }
static BOOL WINAPI DeleteRecorder(HGDIOBJ h) { return Add("DeleteObject(%s)", Name(h).c_str()), REAL(DeleteObject)(h); }
static void WINAPI PostQuitRecorder(int code) { Add("PostQuitMessage(%d)", code), REAL(PostQuitMessage)(code); }
static void WINAPI ExitRecorder(UINT code) { Add("ExitProcess(%u)", code), Finish(); }

static BOOL WINAPI CloseRecorder(HANDLE h)
{
    return Add("CloseHandle(%s)", Name(h).c_str()), h == hStandInThread || REAL(CloseHandle)(h);
}

static int WINAPI MessageBoxRecorder(HWND hOwner, LPCSTR text, LPCSTR caption, UINT type)
{
    return Add("MessageBoxA(%s, %s, %s, 0x%X)", Name(hOwner).c_str(), Text(text).c_str(), Text(caption).c_str(), type), IDOK;
}

static HANDLE WINAPI CreateThreadRecorder(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE routine,
                                          LPVOID param, DWORD flags, LPDWORD id)
{
    HANDLE hThread = threadFails ? nullptr : hStandInThread;
    Add("CreateThread(%s, %lu, %s, %s, %lu, %s) = %s", Name(security).c_str(), (unsigned long)stack,
        Name(reinterpret_cast<const void *>(routine)).c_str(), Name(param).c_str(), flags, Name(id).c_str(),
        Name(hThread).c_str());
    return hThread;
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
    Add("GetMessageA(a MSG, %s, %u, %u) = %s", Name(hWindow).c_str(), first, last, n == 0 ? "-1" : "0, WM_QUIT");
    *msg = MSG{};
    if (n++) {
        msg->message = WM_QUIT;
        return 0;
    }
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
        {"InitCommonControls", ULONG_PTR(&InitCommonControlsRecorder)},
        {"GetModuleHandleA", ULONG_PTR(&GetModuleHandleRecorder)},
        {"LoadIconA", ULONG_PTR(&LoadIconRecorder)},
        {"LoadCursorA", ULONG_PTR(&LoadCursorRecorder)},
        {"RegisterClassA", ULONG_PTR(&RegisterClassRecorder)},
        {"CreateWindowExA", ULONG_PTR(&CreateWindowRecorder)},
        {sizeof(void *) == 8 ? "GetWindowLongPtrA" : "GetWindowLongA", ULONG_PTR(&GetWindowLongRecorder)},
        {"SystemParametersInfoA", ULONG_PTR(&SystemParametersInfoRecorder)},
        {"CreateFontIndirectA", ULONG_PTR(&CreateFontRecorder)},
        {"SendMessageA", ULONG_PTR(&SendRecorder)},
        {"ShowWindow", ULONG_PTR(&ShowRecorder)},
        {"UpdateWindow", ULONG_PTR(&UpdateRecorder)},
        {"GetMessageA", ULONG_PTR(&GetMessageRecorder)},
        {"TranslateMessage", ULONG_PTR(&TranslateRecorder)},
        {"DispatchMessageA", ULONG_PTR(&DispatchRecorder)},
        {"EnableWindow", ULONG_PTR(&EnableRecorder)},
        {"CreateThread", ULONG_PTR(&CreateThreadRecorder)},
        {"CloseHandle", ULONG_PTR(&CloseRecorder)},
        {"DeleteObject", ULONG_PTR(&DeleteRecorder)},
        {"PostQuitMessage", ULONG_PTR(&PostQuitRecorder)},
        {"MessageBoxA", ULONG_PTR(&MessageBoxRecorder)},
        {"ExitProcess", ULONG_PTR(&ExitRecorder)}};
    for (const auto &r : recorders)
        for (const char *dll : {"user32.dll", "kernel32.dll", "gdi32.dll", "comctl32.dll"})
            ReplaceImport(dll, r.first, r.second);
    calls.clear(); // what replacing the slots called
    int code = WinMain(hModule, nullptr, GetCommandLineA(), SW_SHOWNORMAL);
    Add("WinMain returned %d", code);
    Finish();
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::printf("usage: shell_calls <expected-dir> [case]\n");
        return 2;
    }
    expectedDir = argv[1];
    if (argc == 4 && !std::strcmp(argv[2], "--case")) caseName = argv[3], RunCase();
    int failed = 0;
    for (const char *name : {"start", "register", "create"})
        if (argc == 2 || !std::strcmp(argv[2], name))
            std::printf("%s: ", name), failed += !PassesInItsOwnProcess("\"" + expectedDir + "\" --case " + name, 20000);
    std::printf("shell calls: %d failed\n", failed);
    return failed ? 1 : 0;
}
