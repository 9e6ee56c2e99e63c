// Not a test: times the stub on large archives under Wine. For each fixture
// named on the command line (with its member count), it measures from launch
// until the member list holds every member, and from Extract until the status
// line shows the success summary. Run by tools/time-stub.sh. The driver's own
// polling of the list (cross-process messages to a thread that is busy in its
// first activation) stretches the listing time it reports; the stub's own
// listing is far shorter.
#include "tests/win32/e2e/SfxSession.h"

#include <cstdio>
#include <cstdlib>

using namespace e2e;

namespace {

template <typename Predicate>
bool PollUntil(Predicate done, DWORD limitMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < limitMs; Sleep(100))
        if (done())
            return true;
    return false;
}

bool TimeOne(const char* fixture, int members)
{
    SfxSession session(fixture);
    DWORD launched = GetTickCount();
    if (!session.Launch() || !session.WaitForMainWindow(600000))
        return false;
    DWORD shown = GetTickCount();
    if (!PollUntil([&] { return session.ListCount(301) == members; }, 600000))
        return false;
    DWORD listed = GetTickCount();
    session.SetControlText(101, session.WorkFile("out"));
    DWORD started = GetTickCount();
    session.Click(1);
    if (!PollUntil([&] { return session.ControlText(601) == SuccessSummary; }, 600000))
        return false;
    DWORD extracted = GetTickCount();
    std::printf("%s: %d members, window after %lu ms, listed after %lu ms (from launch), extracted in %lu ms\n",
                fixture, members, shown - launched, listed - launched, extracted - started);
    session.Close();
    session.WaitForExit(60000);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int failures = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!TimeOne(argv[i], std::atoi(argv[i + 1]))) {
            std::printf("%s: did not finish\n", argv[i]);
            ++failures;
        }
    }
    return failures;
}
