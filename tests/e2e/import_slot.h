// Pointing one of the exe's imports elsewhere, for the probes that run inside the program.
#ifndef SPINDLEWORK_E2E_IMPORT_SLOT_H
#define SPINDLEWORK_E2E_IMPORT_SLOT_H

#include <windows.h>

// Points the exe's import of function from dll at replacement; returns what the slot held,
// or 0 when the exe has no such import.
ULONG_PTR ReplaceImport(const char *dll, const char *function, ULONG_PTR replacement);

#endif
