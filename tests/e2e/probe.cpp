// The end-to-end probe: e2e_probe.dll, brought into spindlework's process by the driver
// (driver.cpp), where it reads the button's font and records what the window does to its
// button and bar. Asked to, it points the exe's CopyFileExA at a copy service of ours that
// calls the progress routine (copy_stand_in.cpp), which stands in for the platform's because
// Wine's never calls it, and gives the program a console as its standard output.
#include <windows.h>
#include <commctrl.h>

#include "copy_stand_in.h"
#include "probe.h"

static Probe *probe;
static WNDPROC buttonProc, barProc;
static UINT askMessage;

static void Record(UINT message, WPARAM value)
{
    LONG n = probe->count;
    if (n < LONG(sizeof probe->events / sizeof probe->events[0])) {
        probe->events[n] = {LONG(message), LONG(value)};
        MemoryBarrier();
        probe->count = n + 1;
    }
}

static LRESULT CALLBACK ButtonSpy(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_ENABLE) Record(m, wp);
    return CallWindowProcA(buttonProc, hWindow, m, wp, lp);
}

// The exe's import slot for CopyFileExA, found through the main module's import
// descriptors, made to point at the stand-in. The exe's file stays as it is.
static bool PointCopyAtStandIn()
{
    auto *base = reinterpret_cast<BYTE *>(GetModuleHandleA(nullptr));
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto *d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
    for (; imports.VirtualAddress && d->Name; ++d) {
        auto *name = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
        auto *slot = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
        for (; d->OriginalFirstThunk && name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                lstrcmpA(reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + name->u1.AddressOfData)->Name, "CopyFileExA"))
                continue;
            DWORD was;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was)) return false;
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(&CopyWithProgress);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
            return true;
        }
    }
    return false;
}

// A console of the asked size as the program's standard output, seeded with a pattern so
// that every cell the program writes or blanks shows; its window (Wine shows the console
// in a window of its own) put beside the program's, where no click meant for the program
// lands on it.
static bool GiveConsole(HWND hMainWindow)
{
    FreeConsole(); // Wine lets a windowed program share the console of the program that started it
    if (!AllocConsole()) return false;
    HANDLE hOut = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    SHORT width = SHORT(probe->consoleWidth), height = SHORT(probe->consoleHeight);
    SMALL_RECT tiny = {0, 0, 0, 0}, window = {0, 0, SHORT(width - 1), SHORT(probe->consoleRows - 1)};
    DWORD cells = DWORD(width) * DWORD(height), done;
    // The window may never be larger than the buffer: shrunk first, opened up last.
    bool ok = hOut != INVALID_HANDLE_VALUE && SetConsoleWindowInfo(hOut, TRUE, &tiny) &&
              SetConsoleScreenBufferSize(hOut, COORD{width, height}) && SetConsoleWindowInfo(hOut, TRUE, &window) &&
              SetConsoleTextAttribute(hOut, 0x07) && SetConsoleCursorPosition(hOut, COORD{0, 0}) &&
              FillConsoleOutputCharacterA(hOut, '.', cells, COORD{0, 0}, &done) &&
              FillConsoleOutputAttribute(hOut, 0x08, cells, COORD{0, 0}, &done) && SetStdHandle(STD_OUTPUT_HANDLE, hOut);
    SetConsoleTitleA("spindlework.exe: standard output");
    HWND hConsole = GetConsoleWindow();
    RECT r{};
    GetWindowRect(hMainWindow, &r);
    if (hConsole) SetWindowPos(hConsole, nullptr, r.right + 8, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    probe->consoleWindow = LONG_PTR(hConsole);
    return ok;
}

// What the driver checks after a run: the stand-in's counts and the whole console.
static void Look()
{
    probe->copyCalls = copyCalls;
    probe->progressCalls = progressCalls;
    probe->lastCopyResult = lastCopyResult;
    HANDLE hOut = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO &info = probe->consoleInfo;
    DWORD cells = 0, chars = 0, attributes = 0;
    bool read = probe->consoleWidth && GetConsoleScreenBufferInfo(hOut, &info) &&
                (cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y)) <= sizeof probe->consoleChars &&
                ReadConsoleOutputCharacterA(hOut, probe->consoleChars, cells, COORD{0, 0}, &chars) &&
                ReadConsoleOutputAttribute(hOut, probe->consoleAttributes, cells, COORD{0, 0}, &attributes);
    probe->consoleRead = read && chars == cells && attributes == cells;
}

static LRESULT CALLBACK BarSpy(HWND hWindow, UINT m, WPARAM wp, LPARAM lp)
{
    static bool copyPointed = false;
    if (m == askMessage) {
        if (wp == askCopy) {
            copyChunk = DWORD(lp);
            return copyPointed || (copyPointed = PointCopyAtStandIn());
        }
        if (wp == askConsole) return GiveConsole(GetParent(hWindow));
        if (wp == askLook) Look();
        return wp == askLook;
    }
    if (m == PBM_SETPOS) Record(m, wp);
    return CallWindowProcA(barProc, hWindow, m, wp, lp);
}

// The probe message: wParam the bar, lParam the button.
extern "C" __declspec(dllexport) LRESULT CALLBACK probeHook(int code, WPARAM wp, LPARAM lp)
{
    const CWPSTRUCT *m = reinterpret_cast<const CWPSTRUCT *>(lp);
    if (code == HC_ACTION && m->message == RegisterWindowMessageA(probeName) && !probe) {
        HANDLE hMap = OpenFileMappingA(FILE_MAP_WRITE, FALSE, probeName); // kept for the process's life
        probe = hMap ? static_cast<Probe *>(MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, sizeof(Probe))) : nullptr;
        HMODULE hSelf;
        if (probe && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                        reinterpret_cast<LPCSTR>(&Record), &hSelf)) { // stays when unhooked
            HWND hBar = HWND(m->wParam), hButton = HWND(m->lParam);
            askMessage = RegisterWindowMessageA(askName);
            HFONT hFont = reinterpret_cast<HFONT>(SendMessageA(hButton, WM_GETFONT, 0, 0));
            probe->fontState = hFont && GetObjectA(hFont, sizeof(LOGFONTA), &probe->font) == sizeof(LOGFONTA) ? 1 : 2;
            buttonProc = WNDPROC(SetWindowLongPtrA(hButton, GWLP_WNDPROC, LONG_PTR(ButtonSpy)));
            barProc = WNDPROC(SetWindowLongPtrA(hBar, GWLP_WNDPROC, LONG_PTR(BarSpy)));
            probe->recording = buttonProc && barProc;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}
