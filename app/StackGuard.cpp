#include "app/StackGuard.h"

#include <windows.h>

extern "C" {

// Read by the prologue and the epilogue of every protected function.
uintptr_t __stack_chk_guard;

// Called by a protected function whose guard copy was overwritten. Its stack,
// return address included, is no longer the program's, so the process ends
// here without running more of its code: a fast fail where the system has it
// (no handler runs, the error report names the overrun), else by termination
// with the same status.
[[noreturn]] void __stack_chk_fail()
{
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE))
        asm volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}
}

// Unprotected: it changes the guard that a protected frame would have saved
// on entry and compared on return.
__attribute__((no_stack_protector, noinline)) void SetUpStackGuard()
{
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t stackAddress = reinterpret_cast<uintptr_t>(&time);  // moved by ASLR
    uint32_t seeds[] = {time.dwLowDateTime,
                        time.dwHighDateTime,
                        GetCurrentProcessId(),
                        GetCurrentThreadId(),
                        GetTickCount(),
                        counter.LowPart,
                        static_cast<uint32_t>(counter.HighPart),
                        static_cast<uint32_t>(stackAddress),
                        static_cast<uint32_t>(stackAddress >> 32)};
    __stack_chk_guard = MixGuardSeeds(seeds, sizeof seeds / sizeof seeds[0]);
}
