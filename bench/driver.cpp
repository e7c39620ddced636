// Benchmark driver: starts spindlework.exe, clicks its button once and, every ~5 ms
// until the run is done, times a WM_NULL round trip to the window and reads the bar.
// Prints the bar's timeline, the round-trip times and the phase marks as lines of
// "key value ..." for scripts/bench, and tells the script when the program is idle,
// running and done through the file bench-phase in the working directory.
//   bench_driver <spindlework.exe> <working-dir>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

static double NowMs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * (double)now.QuadPart / (double)frequency.QuadPart;
}

static void SetPhase(const std::string &dir, const char *phase)
{
    std::string path = dir + "\\bench-phase", temp = path + ".tmp";
    if (FILE *file = fopen(temp.c_str(), "wb")) {
        fprintf(file, "%s\n", phase);
        fclose(file);
        MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

static std::string WindowsPath(std::string path)
{
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        printf("usage: bench_driver <spindlework.exe> <working-dir>\n");
        return 2;
    }
    std::string exe = WindowsPath(argv[1]), dir = WindowsPath(argv[2]);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + exe + "\"";
    if (!CreateProcessA(exe.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, dir.c_str(), &startup, &process)) {
        printf("error cannot-start %lu\n", GetLastError());
        return 1;
    }
    HWND hWindow = NULL;
    for (int i = 0; i < 600 && !hWindow; ++i, Sleep(50))
        hWindow = FindWindowA("QUILLBOXFRAME", "main window");
    HWND hButton = hWindow ? GetDlgItem(hWindow, 1) : NULL;
    HWND hBar = hWindow ? FindWindowExA(hWindow, NULL, "msctls_progress32", NULL) : NULL;
    if (!hButton || !hBar) {
        printf("error no-window\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }

    SetPhase(dir, "idle");
    Sleep(1000);
    SetPhase(dir, "running");
    double click = NowMs();
    PostMessageA(hButton, BM_CLICK, 0, 0);

    std::vector<double> roundTrips;
    int lastPosition = -1;
    bool wasEnabled = true, started = false;
    double leftZero = 0, reached50 = 0, shown100 = 0, done = 0;
    while (NowMs() - click < 900000) {
        double before = NowMs();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(hWindow, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result)) {
            printf("error no-answer\n");
            break;
        }
        double now = NowMs();
        roundTrips.push_back(now - before);
        int position = (int)SendMessageA(hBar, PBM_GETPOS, 0, 0);
        bool enabled = IsWindowEnabled(hButton) != FALSE;
        if (position != lastPosition)
            printf("bar %.1f %d\n", now - click, position);
        lastPosition = position;
        if (!enabled)
            started = true;
        if (started && position > 0 && !leftZero)
            leftZero = now;
        if (started && position >= 50 && !reached50)
            reached50 = now;
        if (started && position == 100 && !shown100)
            shown100 = now;
        if (started && enabled && !wasEnabled) {
            done = now;
            break;
        }
        wasEnabled = enabled;
        Sleep(5);
    }
    SetPhase(dir, "done");
    Sleep(300);

    std::sort(roundTrips.begin(), roundTrips.end());
    size_t count = roundTrips.size();
    if (count)
        printf("rtt %zu %.3f %.3f %.3f\n", count, roundTrips[count / 2], roundTrips[(count * 99) / 100],
               roundTrips[count - 1]);
    printf("marks %.1f %.1f %.1f %.1f\n", leftZero ? leftZero - click : -1, reached50 ? reached50 - click : -1,
           shown100 ? shown100 - click : -1, done ? done - click : -1);

    PostMessageA(hWindow, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    fflush(stdout);
    return done ? 0 : 1;
}
