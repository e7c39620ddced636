// The copy service's progress routine: bar positions 50..100 and the copy report line.
#ifndef SPINDLEWORK_COPY_PROGRESS_H
#define SPINDLEWORK_COPY_PROGRESS_H

#include <windows.h>

DWORD CALLBACK OnCopyProgress(LARGE_INTEGER TotalFileSize, LARGE_INTEGER TotalBytesTransferred,
                              LARGE_INTEGER StreamSize, LARGE_INTEGER StreamBytesTransferred,
                              DWORD dwStreamNumber, DWORD dwCallbackReason, HANDLE hSourceFile,
                              HANDLE hDestinationFile, LPVOID lpData);

#endif
