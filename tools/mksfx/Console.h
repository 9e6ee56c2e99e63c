#pragma once
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

// Exit codes, as `mksfx --help` and the manual list them. When members fail
// for both reasons, extract exits with ExitFileError.
enum ExitCode : int {
    ExitSuccess = 0,
    ExitDataError = 1,   // a member failed, the archive is damaged or holds what the stub cannot extract
    ExitUsageError = 2,  // the command line is wrong
    ExitFileError = 3,   // a file or directory could not be opened, read, created or written
    ExitOutOfMemory = 4,
};

// Ends a command: main() prints the message (already naming file and member),
// then the hint on a line of its own, and exits with the code.
class CommandError : public std::runtime_error {
public:
    CommandError(ExitCode code, const std::string& message, const std::string& hint = "")
        : std::runtime_error(message), exitCode(code), hint(hint)
    {
    }
    ExitCode exitCode;
    std::string hint;
};

enum class Verbosity { Quiet, Normal, Verbose };
extern Verbosity OutputLevel;  // set from -q and -v before a command runs

// Names and paths come from archives and directories anyone may have made, so
// every line below is shown through EscapeForTerminal.

// Control bytes (C0, DEL, and the C1 range U+0080..U+009F) and bytes that are
// not part of valid UTF-8 become "\xNN"; valid UTF-8 is kept. A hostile name
// then cannot move the cursor, retitle the terminal or fake a line of output.
std::string EscapeForTerminal(const std::string& text);

// Error and warning lines on stderr, prefixed "mksfx: "; a hint goes on the
// next line. They clear a progress bar that is showing first.
void ReportError(const std::string& message, const std::string& hint = "");
void ReportWarning(const std::string& message);
// A line on stdout unless -q was given.
void Say(const std::string& line);
// A line on stdout only with -v.
void SayVerbose(const std::string& line);

// The text of errno for messages ("No such file or directory").
std::string SystemErrorText(int error);

// A progress bar on stderr for long work. It draws only when stderr is a
// terminal and -q was not given; a background thread redraws it five times a
// second from the counters, so the worker never waits for the terminal.
class ProgressBar {
public:
    // `total` in the same unit as Advance and the position source.
    ProgressBar(const std::string& label, uint64_t total);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Advance(uint64_t amount) { done += amount; }
    void SetDone(uint64_t value) { done = value; }
    // Reads the position from a file descriptor's offset instead of the counter,
    // for work that happens inside a decoder: done = offset - base.
    void FollowFileOffset(int fd, uint64_t base);
    // Clears the line; called before other output goes to stderr.
    static void ClearActive();

private:
    void Run();
    void Draw();

    std::string label;
    uint64_t total;
    std::atomic<uint64_t> done{0};
    std::atomic<int> followedFd{-1};
    uint64_t followedBase = 0;
    std::atomic<bool> stopping{false};
    std::thread drawer;
};

// Reads a password from the terminal without echo, with the prompt on the
// terminal. Throws CommandError when there is no terminal.
std::string PromptForPassword(const std::string& prompt, bool confirm);
