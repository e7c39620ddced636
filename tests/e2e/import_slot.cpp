// Points one of the exe's imports elsewhere, from inside its process.
#include "import_slot.h"

// Through the main module's import descriptors, at run time: the exe's file stays as it is.
ULONG_PTR ReplaceImport(const char *dll, const char *function, ULONG_PTR replacement)
{
    auto *base = reinterpret_cast<BYTE *>(GetModuleHandleA(nullptr));
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto *d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
         imports.VirtualAddress && d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<char *>(base + d->Name), dll)) continue;
        auto *name = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
        auto *slot = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
        for (; d->OriginalFirstThunk && name->u1.AddressOfData; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
                lstrcmpA(reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + name->u1.AddressOfData)->Name, function))
                continue;
            DWORD was;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was)) return 0;
            ULONG_PTR old = slot->u1.Function;
            slot->u1.Function = replacement;
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
            return old;
        }
    }
    return 0;
}
