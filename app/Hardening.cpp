#include "app/Hardening.h"

#include <windows.h>

// Both calls are looked up rather than imported: they are missing from the
// oldest systems the stub still starts on (SetDefaultDllDirectories needs
// Windows 8, or 7/Vista with KB2533623), and there the stub runs without them.
typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD);
typedef BOOL(WINAPI* HeapSetInformationProc)(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T);
typedef void (*AnyProcedure)();

static AnyProcedure FindKernelProcedure(const char* name)
{
    return reinterpret_cast<AnyProcedure>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name));
}

void HardenProcess()
{
    // The stub is started from download folders, where a planted DLL carrying a
    // system name would otherwise be found before the system's own.
    auto setDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesProc>(FindKernelProcedure("SetDefaultDllDirectories"));
    if (setDirectories)
        setDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    auto setHeap = reinterpret_cast<HeapSetInformationProc>(FindKernelProcedure("HeapSetInformation"));
    if (setHeap)
        setHeap(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
}
