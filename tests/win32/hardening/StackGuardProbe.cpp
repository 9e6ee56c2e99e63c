// A program without the C runtime, built and started as the stub is: its entry
// sets up the stack guard with the stub's own code, then does what its command
// line's last word asks.
//   guard: ends with the guard's low 32 bits as its exit code;
//   smash: copies its command line into a protected 8-byte buffer, overrunning
//          the guard copy and the return address, and returns.
#include "app/StackGuard.h"

#include <windows.h>

extern "C" uintptr_t __stack_chk_guard;

__attribute__((noinline)) static void CopyUnbounded(char* to, const char* from)
{
    while ((*to++ = *from++) != '\0') {
    }
}

__attribute__((noinline)) static void OverrunBuffer(const char* text)
{
    char buffer[8];
    CopyUnbounded(buffer, text);
    asm volatile("" : : "r"(buffer) : "memory");  // the buffer counts as used
}

static bool EndsWith(const char* text, const char* tail)
{
    const char* end = text;
    while (*end)
        ++end;
    const char* tailEnd = tail;
    while (*tailEnd)
        ++tailEnd;
    while (tailEnd > tail && end > text)
        if (*--tailEnd != *--end)
            return false;
    return tailEnd == tail;
}

extern "C" __attribute__((no_stack_protector)) void __stdcall ProbeEntry()
{
    SetUpStackGuard();
    const char* commandLine = GetCommandLineA();
    if (EndsWith(commandLine, "guard"))
        ExitProcess(static_cast<UINT>(__stack_chk_guard));
    if (EndsWith(commandLine, "smash")) {
        OverrunBuffer(commandLine);
        ExitProcess(1);  // reached only when the overrun went unnoticed
    }
    ExitProcess(2);
}
