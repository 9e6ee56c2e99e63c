// The stub's stack guard at work, through StackGuardProbe.exe (beside this
// program), which sets the guard up as the stub does.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

// Runs the probe with `word` and gives its exit code; 0xFFFFFFFF when it could
// not be started or did not end within 30 s.
DWORD RunProbe(const char* word)
{
    char own[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
    std::string path(own, length);
    path = path.substr(0, path.rfind('\\') + 1) + "StackGuardProbe.exe";
    std::string commandLine = "\"" + path + "\" " + word;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 0xFFFFFFFF;
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 0xFFFFFFFF);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

TEST(StackGuard, DiffersBetweenRunsAndIsNeverZero)
{
    DWORD first = RunProbe("guard");
    DWORD second = RunProbe("guard");
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, 0xFFFFFFFFu);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);
}

TEST(StackGuard, AnOverrunBufferEndsTheProcessWithTheFastFailStatus)
{
    // Not an access violation after the return to the overwritten address.
    EXPECT_EQ(RunProbe("smash"), static_cast<DWORD>(STATUS_STACK_BUFFER_OVERRUN));
}

}  // namespace
