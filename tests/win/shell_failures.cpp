// The window side's failure paths, run by the real entry and window procedure linked in here:
// the class cannot be registered, the window cannot be made, the worker's thread cannot start.
// The failing call, the message box and the process's end are stand-ins put in this exe's own
// import slots, so every case runs in a process of its own.
//   shell_failures [case]   runs every case, or the one named
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/messages.h"
#include "e2e/import_slot.h"
#include "shell/main_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

static std::string calls, want; // what the product asked for, and what it should have
static decltype(&ExitProcess) realExit;
static decltype(&CreateWindowExA) realCreate;

static ATOM WINAPI NoClass(const WNDCLASSA *) { return 0; }

static HWND WINAPI NoMainWindow(DWORD ex, LPCSTR cls, LPCSTR title, DWORD style, int x, int y, int w, int h,
                                HWND parent, HMENU menu, HINSTANCE instance, LPVOID data)
{
    if (HIWORD(cls) && !std::strcmp(cls, "QUILLBOXFRAME")) return nullptr;
    return realCreate(ex, cls, title, style, x, y, w, h, parent, menu, instance, data);
}

static HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD)
{
    return nullptr;
}

static void Finish(UINT code);

static int WINAPI RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    bool again = !calls.empty(); // a second box: the program went on after the first
    calls += "box " + std::string(owner ? "owned" : "unowned") + " \"" + text + "\" \"" + caption + "\" " +
             std::to_string(type) + "; ";
    if (again) Finish(1);
    return IDOK;
}

// The process ends here: with 0 when the product asked for exactly what it should have.
static void Finish(UINT code)
{
    calls += "exit " + std::to_string(code);
    bool ok = calls == want;
    std::printf("%s\n  expected: %s\n  actual:   %s\n", ok ? "passed" : "FAILED", want.c_str(), calls.c_str());
    std::fflush(stdout);
    realExit(ok ? 0 : 1);
}

static void WINAPI RecordExit(UINT code) { Finish(code); }

// A click whose thread cannot start: the button must come back, with the bar at 0.
static void ClickWithoutThread()
{
    ReplaceImport("kernel32.dll", "CreateThread", ULONG_PTR(&NoThread));
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "QUILLBOXFRAME";
    RegisterClassA(&windowClass);
    HWND hWindow = CreateWindowExA(0, "QUILLBOXFRAME", "main window", WS_OVERLAPPEDWINDOW, 0, 0, 315, 300, nullptr,
                                   nullptr, windowClass.hInstance, nullptr);
    HWND hButton = GetDlgItem(hWindow, IDC_STARTBUTTON), hBar = FindWindowExA(hWindow, nullptr, PROGRESS_CLASSA, nullptr);
    SendMessageA(hWindow, WM_COMMAND, MAKEWPARAM(IDC_STARTBUTTON, BN_CLICKED), LPARAM(hButton));
    calls = "button " + std::string(IsWindowEnabled(hButton) ? "enabled" : "disabled") + ", bar at " +
            std::to_string(SendMessageA(hBar, PBM_GETPOS, 0, 0)) + "; ";
    want = "button enabled, bar at 0; exit 0";
    Finish(0);
}

static int RunCase(const std::string &name)
{
    // The real ones from the DLLs: the import slots may be ours, or missing from a product that calls nothing there.
    realExit = reinterpret_cast<decltype(realExit)>(reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                                                                            "ExitProcess")));
    realCreate = reinterpret_cast<decltype(realCreate)>(reinterpret_cast<void *>(GetProcAddress(
        GetModuleHandleA("user32.dll"), "CreateWindowExA")));
    ReplaceImport("kernel32.dll", "ExitProcess", ULONG_PTR(&RecordExit));
    ReplaceImport("user32.dll", "MessageBoxA", ULONG_PTR(&RecordBox));
    if (name == "thread") ClickWithoutThread();
    if (name == "register") ReplaceImport("user32.dll", "RegisterClassA", ULONG_PTR(&NoClass));
    else ReplaceImport("user32.dll", "CreateWindowExA", ULONG_PTR(&NoMainWindow));
    want = "box unowned \"Error while " + std::string(name == "register" ? "registering WndClass" : "creating main window") +
           ".\r\n\r\nThis program will now terminate.\" \"Error\" 16; exit 0";
    WinMain(GetModuleHandleA(nullptr), nullptr, GetCommandLineA(), SW_SHOWNORMAL);
    calls += "WinMain returned; ";
    Finish(1);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc == 3) return RunCase(argv[2]);
    int failed = 0;
    for (const char *name : {"register", "create", "thread"}) {
        if (argc == 2 && std::strcmp(argv[1], name)) continue;
        char path[MAX_PATH], command[MAX_PATH + 32];
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::snprintf(command, sizeof command, "\"%s\" --case %s", path, name);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = GetStdHandle(STD_OUTPUT_HANDLE);
        PROCESS_INFORMATION process{};
        DWORD code = 1;
        std::printf("%s: ", name);
        std::fflush(stdout);
        if (CreateProcessA(path, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process) &&
            WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &code);
        else
            std::printf("no end within 20 s\n"), TerminateProcess(process.hProcess, 1);
        failed += code != 0;
    }
    std::printf("shell failures: %d failed\n", failed);
    return failed ? 1 : 0;
}
