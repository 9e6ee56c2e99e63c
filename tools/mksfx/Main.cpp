// mksfx: builds, lists, tests and extracts Zelvix self-extracting archives.
#include "tools/mksfx/CommandSupport.h"
#include "tools/mksfx/Commands.h"
#include "tools/mksfx/Console.h"

#include "decode/Crc32.h"
#include "fsutil/PathString.h"

#include <cstdio>
#include <new>

#ifndef ZELVIX_VERSION
#define ZELVIX_VERSION "0.0.0"
#endif

static const char OverviewHelp[] =
    "Usage: mksfx COMMAND [OPTIONS] ARGUMENTS...\n"
    "Builds and checks Zelvix self-extracting archives: the Windows stub followed by a ZIP archive.\n"
    "\n"
    "Commands:\n"
    "  create -o OUT.exe [options] PATH...   pack files and directories into a self-extracting archive\n"
    "  convert IN.zip -o OUT.exe [options]   re-pack an existing ZIP archive for the stub\n"
    "  list FILE                              list the members the stub will show\n"
    "  test FILE                              decode and CRC-check every member, writing nothing\n"
    "  extract FILE [-d DIR]                  extract the members as the stub would\n"
    "\n"
    "'mksfx COMMAND --help' describes a command's options. 'mksfx --version' prints the version.\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  a member failed, the archive is damaged, or it holds something the stub cannot extract\n"
    "  2  the command line is wrong\n"
    "  3  a file or directory could not be opened, read, created or written (extract's\n"
    "     destination and the files it writes included; this code wins over 1)\n"
    "  4  out of memory\n";

static const char CreateHelp[] =
    "Usage: mksfx create -o OUT.exe [options] PATH...\n"
    "Packs files and directories (recursively, in name order) into a ZIP archive appended to the stub.\n"
    "Member names are the paths as given, with '/' separators; '.' and leading '/' are dropped.\n"
    "Symbolic links are followed; one that leads nowhere is an error. Every input is checked\n"
    "first, and when any cannot be packed each problem is named and nothing is written.\n"
    "\n"
    "  -o, --output FILE        the self-extracting archive to write (replaced only when complete)\n"
    "  -C, --directory DIR      read the PATHs relative to DIR\n"
    "  -0 .. -9, --level N      deflate level, 0 to 12 (default 6); 0 stores every member\n"
    "      --store              the same as -0\n"
    "  -P, --password PASSWORD  encrypt every file with the traditional ZIP encryption\n"
    "  -e, --password-prompt    ask for the password on the terminal\n"
    "      --password-file FILE take the password from the first line of FILE\n"
    "      --mtime TIME         store TIME for every member: @SECONDS or 'YYYY-MM-DD[ HH:MM[:SS]]'\n"
    "                           (without it, SOURCE_DATE_EPOCH caps the files' own times)\n"
    "      --stub FILE          use another stub than the one built in\n"
    "  -q, --quiet              print errors only\n"
    "  -v, --verbose            print each member as it is added\n"
    "\n"
    "Times are stored in local time, as ZIP tools do; set TZ=UTC for output that does not\n"
    "depend on the machine. Passwords have at most 24 characters, as the stub's prompt takes.\n";

static const char ConvertHelp[] =
    "Usage: mksfx convert IN.zip -o OUT.exe [options]\n"
    "Re-packs an existing ZIP archive for the stub without recompressing: every member gets a\n"
    "complete local header and no data descriptor; encrypted members are kept as they are.\n"
    "Every member is first decoded with the stub's decoders; a damaged one stops the command.\n"
    "\n"
    "  -o, --output FILE        the self-extracting archive to write\n"
    "  -P, --password PASSWORD  check encrypted members with this password (else they are unchecked)\n"
    "      --password-file FILE take the password from the first line of FILE\n"
    "      --skip-unsupported   leave out members the stub cannot extract instead of failing\n"
    "      --stub FILE          use another stub than the one built in\n"
    "  -q, --quiet              print errors only\n"
    "  -v, --verbose            print each member as it is copied\n";

static const char ListHelp[] =
    "Usage: mksfx list [options] FILE\n"
    "Lists the members by walking their local headers, as the stub does.\n"
    "FILE is a self-extracting archive, or a plain ZIP archive when it starts with a local header.\n"
    "\n"
    "      --offset N           walk from offset N instead\n"
    "  -q, --quiet              names only\n"
    "  -v, --verbose            also method, sizes, CRC-32 and flags\n";

static const char TestHelp[] =
    "Usage: mksfx test [options] FILE\n"
    "Decodes every member with the stub's own decoders and checks its CRC-32, writing nothing.\n"
    "\n"
    "  -P, --password PASSWORD  password for encrypted members (without it, asked on the terminal)\n"
    "      --password-file FILE take the password from the first line of FILE\n"
    "      --offset N           walk from offset N instead of the stub size\n"
    "  -q, --quiet              print errors only\n"
    "  -v, --verbose            print each member's result\n";

static const char ExtractHelp[] =
    "Usage: mksfx extract [options] FILE\n"
    "Extracts the members with the stub's own decoders, verifying each by CRC-32.\n"
    "Directories are created as needed; an existing file is an error unless told otherwise.\n"
    "Unix modes stored in the archive are not restored; files get the modes the umask leaves.\n"
    "\n"
    "  -d, --directory DIR      extract into DIR (created if missing; default: the current directory)\n"
    "  -j, --junk-paths         drop the stored directories, as the stub does with 'Restore directories' off\n"
    "      --overwrite          replace existing files\n"
    "      --skip-existing      leave existing files alone\n"
    "  -P, --password PASSWORD  password for encrypted members (without it, asked on the terminal)\n"
    "      --password-file FILE take the password from the first line of FILE\n"
    "      --offset N           walk from offset N instead of the stub size\n"
    "  -q, --quiet              print errors only\n"
    "  -v, --verbose            print each member as it is written\n";

static void PrintCommandHelp(const std::string& command)
{
    const char* text = OverviewHelp;
    if (command == "create")
        text = CreateHelp;
    else if (command == "convert")
        text = ConvertHelp;
    else if (command == "list")
        text = ListHelp;
    else if (command == "test")
        text = TestHelp;
    else if (command == "extract")
        text = ExtractHelp;
    std::fputs(text, stdout);
}

int main(int argc, char** argv)
{
    // The stub reads a name as UTF-8 (Windows 10 1903 and later) or in the
    // system's code page (1252 writes the superscript digits B9 B2 B3), so a
    // name that either reading makes a device is refused. In UTF-8 a byte that
    // starts no character, as B9 alone, is a character of its own.
    SetUtf8Text(true);
    SetSuperscriptDigits("\xB9\xB2\xB3\xC2\xB9\xC2\xB2\xC2\xB3");
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::fputs(OverviewHelp, stderr);
        return ExitUsageError;
    }
    std::string command = words[0];
    words.erase(words.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        PrintCommandHelp(words.empty() ? "" : words[0]);
        return ExitSuccess;
    }
    if (command == "--version" || command == "-V") {
        std::printf("mksfx (Zelvix SFX) %s\nstub: %s\n", ZELVIX_VERSION,
                    EmbeddedStubLength ? (std::to_string(EmbeddedStubLength) + " bytes built in").c_str()
                                       : "none built in (create and convert need --stub)");
        return ExitSuccess;
    }
    for (const std::string& word : words) {
        if (word == "--")
            break;
        if (word == "--help" || word == "-h") {
            PrintCommandHelp(command);
            return ExitSuccess;
        }
    }
    SetUpCrcTable();
    try {
        if (command == "create")
            return RunCreate(words);
        if (command == "convert")
            return RunConvert(words);
        if (command == "list")
            return RunList(words);
        if (command == "test")
            return RunTest(words);
        if (command == "extract")
            return RunExtract(words);
        throw CommandError(ExitUsageError, "unknown command '" + command + "'", "Try 'mksfx --help'.");
    } catch (const CommandError& error) {
        ReportError(error.what(), error.hint);
        return error.exitCode;
    } catch (const std::bad_alloc&) {
        ReportError("out of memory");
        return ExitOutOfMemory;
    }
}
