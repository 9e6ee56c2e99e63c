#include "tools/mksfx/Console.h"

#include "fsutil/Utf8.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <termios.h>
#include <unistd.h>

Verbosity OutputLevel = Verbosity::Normal;

// Serialises the drawer thread against lines that other output writes to
// stderr, so a bar never lands in the middle of a message.
static std::mutex TerminalLock;
static bool BarOnScreen = false;  // a bar line is drawn and not yet cleared; guarded by TerminalLock
// Set while a password prompt owns the terminal, so no bar is drawn over it.
static std::atomic<bool> BarsPaused{false};

static void ClearBarLocked()
{
    if (BarOnScreen) {
        std::fputs("\r\033[K", stderr);
        BarOnScreen = false;
    }
}

void ProgressBar::ClearActive()
{
    std::lock_guard<std::mutex> hold(TerminalLock);
    ClearBarLocked();
}

std::string EscapeForTerminal(const std::string& text)
{
    static const char digits[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        size_t length = Utf8CharLength(text.data() + at, text.data() + text.size());
        unsigned lead = static_cast<unsigned char>(text[at]);
        bool control = lead < 0x20 || lead == 0x7F ||
                       (length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0);
        if (length > 0 && !control) {
            shown.append(text, at, length);
            at += length;
            continue;
        }
        // A C1 control shows both of its bytes; anything else one byte at a time,
        // so the next byte gets its own chance to start a valid sequence.
        size_t count = length == 2 ? 2 : 1;
        for (size_t i = 0; i < count; ++i) {
            unsigned value = static_cast<unsigned char>(text[at + i]);
            shown += "\\x";
            shown += digits[value >> 4];
            shown += digits[value & 15];
        }
        at += count;
    }
    return shown;
}

void ReportError(const std::string& message, const std::string& hint)
{
    std::lock_guard<std::mutex> hold(TerminalLock);
    ClearBarLocked();
    std::fflush(stdout);
    std::fprintf(stderr, "mksfx: %s\n", EscapeForTerminal(message).c_str());
    if (!hint.empty())
        std::fprintf(stderr, "%s\n", EscapeForTerminal(hint).c_str());
}

void ReportWarning(const std::string& message)
{
    if (OutputLevel == Verbosity::Quiet)
        return;
    std::lock_guard<std::mutex> hold(TerminalLock);
    ClearBarLocked();
    std::fflush(stdout);
    std::fprintf(stderr, "mksfx: warning: %s\n", EscapeForTerminal(message).c_str());
}

void Say(const std::string& line)
{
    if (OutputLevel == Verbosity::Quiet)
        return;
    std::lock_guard<std::mutex> hold(TerminalLock);
    ClearBarLocked();
    std::fputs(EscapeForTerminal(line).c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void SayVerbose(const std::string& line)
{
    if (OutputLevel == Verbosity::Verbose)
        Say(line);
}

std::string SystemErrorText(int error)
{
    return std::strerror(error);
}

ProgressBar::ProgressBar(const std::string& label, uint64_t total) : label(EscapeForTerminal(label)), total(total)
{
    if (OutputLevel != Verbosity::Quiet && isatty(STDERR_FILENO))
        drawer = std::thread(&ProgressBar::Run, this);
}

ProgressBar::~ProgressBar()
{
    if (drawer.joinable()) {
        stopping = true;
        drawer.join();
        ClearActive();
    }
}

void ProgressBar::FollowFileOffset(int fd, uint64_t base)
{
    followedBase = base;
    followedFd = fd;
}

void ProgressBar::Run()
{
    // The first drawing waits half a second, so quick work shows no bar at all.
    auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (!stopping) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (std::chrono::steady_clock::now() < next)
            continue;
        Draw();
        next = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
    }
}

void ProgressBar::Draw()
{
    uint64_t position = done;
    int fd = followedFd;
    if (fd >= 0) {
        off_t offset = lseek(fd, 0, SEEK_CUR);
        if (offset >= 0 && static_cast<uint64_t>(offset) >= followedBase)
            position = static_cast<uint64_t>(offset) - followedBase;
    }
    if (position > total)
        position = total;
    unsigned percent = total ? static_cast<unsigned>(position * 100 / total) : 100;
    constexpr unsigned width = 30;
    unsigned filled = total ? static_cast<unsigned>(position * width / total) : width;
    std::string bar(filled, '#');
    bar.append(width - filled, '.');
    std::string shown = label.size() > 40 ? "..." + label.substr(label.size() - 37) : label;
    std::lock_guard<std::mutex> hold(TerminalLock);
    if (BarsPaused)
        return;
    std::fprintf(stderr, "\r\033[K[%s] %3u%% %s", bar.c_str(), percent, shown.c_str());
    std::fflush(stderr);
    BarOnScreen = true;
}

static std::string ReadLineWithoutEcho(int fd)
{
    termios saved;
    bool restore = tcgetattr(fd, &saved) == 0;
    if (restore) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n')
        line += c;
    if (restore)
        tcsetattr(fd, TCSAFLUSH, &saved);
    return line;
}

std::string PromptForPassword(const std::string& prompt, bool confirm)
{
    int fd = open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw CommandError(ExitUsageError, "cannot ask for a password: no terminal (use -P or --password-file)");
    BarsPaused = true;
    ProgressBar::ClearActive();
    std::string first;
    for (;;) {
        std::string shown = EscapeForTerminal(prompt);
        if (write(fd, shown.data(), shown.size()) < 0)
            break;
        first = ReadLineWithoutEcho(fd);
        if (!confirm)
            break;
        static const char again[] = "Verify password: ";
        if (write(fd, again, sizeof again - 1) < 0)
            break;
        if (ReadLineWithoutEcho(fd) == first)
            break;
        static const char differ[] = "Passwords did not match, try again.\n";
        if (write(fd, differ, sizeof differ - 1) < 0)
            break;
    }
    close(fd);
    BarsPaused = false;
    return first;
}
