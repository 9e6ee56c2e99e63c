// Not a test: extraction of archives with many members against the floor
// program (bench/FloorWriter.cpp) writing the same files, alternately in one
// Wine session. Run by tools/time-many.sh.
//
//     manytiming.exe FLOOR.exe RUNS  NAME.exe PACK MEMBERS  [NAME.exe PACK MEMBERS ...]
//
// For each archive and run: the floor program writes the pack's files into a
// fresh folder (its own clock, from the first directory to the last close),
// then the stub extracts the archive into another (from the click on Extract
// until the status line shows the success summary; "&Overwrite" is chosen, as
// names equal without regard to case land on one file). Prints every run, the
// medians and their ratio. A PACK of "-" skips the floor and ends the
// extraction with Exit pressed during the pass: the stub must finish the pass
// (the last member's file on disk) and then end.
#include "tests/win32/e2e/SfxSession.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace e2e;

namespace {

enum { PathField = 101, MemberList = 301, Overwrite = 501, ExtractButton = 1, ExitButton = 2, Status = 601 };

double Now()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

template <typename Predicate>
bool PollUntil(Predicate done, DWORD limitMs, DWORD intervalMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < limitMs; Sleep(intervalMs))
        if (done())
            return true;
    return false;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Milliseconds the floor program reports, or -1.
double RunFloor(const std::string& floor, const std::string& pack, const std::string& destination)
{
    TemporaryDirectory scratch;
    std::string resultPath = scratch.File("ms.txt");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE result =
        CreateFileA(resultPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = result;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string command = "\"" + floor + "\" \"" + pack + "\" \"" + destination + "\"";
    PROCESS_INFORMATION process = {};
    bool started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(result);
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    std::string text;
    if (code != 0 || !ReadWholeFile(resultPath, text))
        return -1;
    return std::atof(text.c_str());
}

// Milliseconds from Extract to the success summary, or -1. With `exitDuring`,
// Exit is pressed once the pass runs, and the time is until the process ends.
double RunStub(const std::string& fixture, int members, bool exitDuring)
{
    SfxSession session(fixture);
    if (!session.Launch() || !session.WaitForMainWindow(600000))
        return -1;
    if (!PollUntil([&] { return session.ListCount(MemberList) == members; }, 600000, 100)) {
        std::printf("  listed %d of %d members\n", session.ListCount(MemberList), members);
        return -1;
    }
    std::string out = session.WorkFile("out");
    session.SetControlText(PathField, out);
    session.Click(Overwrite);
    Sleep(200);
    double started = Now();
    session.Click(ExtractButton);
    double elapsed = -1;
    if (exitDuring) {
        PollUntil([&] { return session.ControlText(Status).rfind("Extracting: ", 0) == 0; }, 60000, 20);
        session.Command(ExitButton);
        if (session.WaitForExit(3600000) == 0)
            elapsed = Now() - started;
        WIN32_FIND_DATAA found;
        int written = 0;
        HANDLE finder = FindFirstFileA((out + "\\*").c_str(), &found);
        if (finder != INVALID_HANDLE_VALUE) {
            do
                written += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
            while (FindNextFileA(finder, &found));
            FindClose(finder);
        }
        std::printf("  exit pressed during the pass: process ended, %d files in the destination's top folder\n",
                    written);
        return elapsed;
    }
    if (PollUntil([&] { return session.ControlText(Status) == SuccessSummary; }, 3600000, 20))
        elapsed = Now() - started;
    else
        std::printf("  status line: %s\n", session.ControlText(Status).c_str());
    session.Close();
    session.WaitForExit(60000);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || (argc - 3) % 3 != 0) {
        std::printf("usage: manytiming FLOOR.exe RUNS NAME.exe PACK MEMBERS [...]\n");
        return 2;
    }
    std::string floor = FixturePath(argv[1]);  // all names are in the fixture folder
    int runs = std::atoi(argv[2]);
    int failures = 0;
    for (int i = 3; i + 2 < argc; i += 3) {
        std::string fixture = argv[i];
        std::string pack = argv[i + 1];
        int members = std::atoi(argv[i + 2]);
        bool exitDuring = pack == "-";
        std::vector<double> floorTimes, stubTimes;
        for (int run = 0; run < runs; ++run) {
            double floorMs = 0;
            if (!exitDuring) {
                TemporaryDirectory destination;
                floorMs = RunFloor(floor, FixturePath(pack), destination.File("out"));
            }
            double stubMs = RunStub(fixture, members, exitDuring);
            std::printf("%s run %d: floor %.0f ms, stub %.0f ms\n", fixture.c_str(), run + 1, floorMs, stubMs);
            std::fflush(stdout);
            if (floorMs < 0 || stubMs < 0) {
                ++failures;
                continue;
            }
            floorTimes.push_back(floorMs);
            stubTimes.push_back(stubMs);
        }
        if (stubTimes.empty())
            continue;
        double stub = Median(stubTimes);
        if (exitDuring) {
            std::printf("%s: %d members, stub median %.0f ms\n", fixture.c_str(), members, stub);
        } else {
            double floorMedian = Median(floorTimes);
            std::printf("%s: %d members, stub median %.0f ms, floor median %.0f ms, ratio %.2f\n", fixture.c_str(),
                        members, stub, floorMedian, stub / floorMedian);
        }
        std::fflush(stdout);
    }
    return failures;
}
