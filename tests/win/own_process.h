// For the Windows test programs whose cases each need a fresh process: this program again.
#ifndef SPINDLEWORK_OWN_PROCESS_H
#define SPINDLEWORK_OWN_PROCESS_H

#include <windows.h>

#include <cstdio>
#include <string>

// Runs this program again with the given arguments, with no console and our standard output as
// its own; true when it ends with exit code 0 within the time.
inline bool PassesInItsOwnProcess(const std::string &arguments, DWORD timeoutMs)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string command = "\"" + std::string(path) + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(), &startup.hStdOutput, 0,
                    TRUE, DUPLICATE_SAME_ACCESS);
    startup.hStdError = startup.hStdOutput;
    PROCESS_INFORMATION process{};
    DWORD code = 1;
    std::fflush(stdout);
    if (!CreateProcessA(path, &command[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                        &process))
        std::printf("%s: cannot start its process (error %lu)\n", arguments.c_str(), GetLastError());
    else if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        std::printf("%s: no end within %lu s\n", arguments.c_str(), timeoutMs / 1000),
            TerminateProcess(process.hProcess, 1);
    else
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(startup.hStdOutput), CloseHandle(process.hThread), CloseHandle(process.hProcess);
    std::fflush(stdout);
    return code == 0;
}

#endif
