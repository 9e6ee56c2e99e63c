#include "fsutil/PathString.h"

static bool IsSplitChar(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

// The code page's lead-byte ranges, pairs of first and last byte; a 0 ends them.
static uint8_t LeadByteRanges[MaxLeadByteRanges * 2 + 1];

void SetLeadByteRanges(const uint8_t* ranges, uint32_t count)
{
    for (uint32_t i = 0; i < MaxLeadByteRanges * 2; ++i)
        LeadByteRanges[i] = i < count ? ranges[i] : 0;
}

const char* NextChar(const char* text)
{
    uint8_t byte = static_cast<uint8_t>(text[0]);
    if (text[1] != '\0')
        for (const uint8_t* range = LeadByteRanges; range[0] != 0; range += 2)
            if (byte >= range[0] && byte <= range[1])
                return text + 2;
    return text + 1;
}

bool EndsWithBackslash(const char* path)
{
    bool ends = false;
    for (; *path; path = NextChar(path))
        ends = *path == '\\';
    return ends;
}

uint32_t StringLength(const char* text)
{
    uint32_t length = 0;
    while (text[length])
        ++length;
    return length;
}

uint32_t CopyString(char* out, uint32_t outSize, const char* text)
{
    if (outSize == 0)
        return 0;
    uint32_t length = 0;
    while (text[length] && length + 1 < outSize) {
        out[length] = text[length];
        ++length;
    }
    out[length] = '\0';
    return length;
}

bool ContainsChar(const char* text, char wanted)
{
    for (; *text; text = NextChar(text))
        if (*text == wanted)
            return true;
    return false;
}

const char* StripLeadingBackslash(const char* path)
{
    return path[0] == '\\' ? path + 1 : path;
}

uint32_t PathDirPart(const char* path, char* out, uint32_t outSize)
{
    uint32_t length = StringLength(path);
    uint32_t keep;
    if (length == 3 && ContainsChar(path, ':')) {
        keep = 3;  // a drive root such as C:\ keeps its separator
    } else {
        keep = 0;
        for (const char* c = path; *c; c = NextChar(c))
            if (IsSplitChar(*c))
                keep = static_cast<uint32_t>(c - path) + 1;
        if (keep > 0 && (path[keep - 1] == '\\' || path[keep - 1] == '/')) {
            // C:\Data gives C:\, not C:
            bool separatorOfDriveRoot = keep == 3 && path[1] == ':';
            if (!separatorOfDriveRoot)
                --keep;
        }
    }
    if (outSize == 0)
        return 0;
    if (keep > outSize - 1)
        keep = outSize - 1;
    for (uint32_t i = 0; i < keep; ++i)
        out[i] = path[i];
    out[keep] = '\0';
    return keep;
}

uint32_t PathNamePart(const char* path, char* out, uint32_t outSize)
{
    const char* name = path;
    for (const char* c = path; *c; c = NextChar(c))
        if (IsSplitChar(*c))
            name = c + 1;
    uint32_t limit = outSize < MaxNamePart + 1 ? outSize : MaxNamePart + 1;
    const char* end = name;  // the cut falls between characters
    while (*end && static_cast<uint32_t>(NextChar(end) - name) < limit)
        end = NextChar(end);
    uint32_t keep = static_cast<uint32_t>(end - name) + 1;
    return CopyString(out, keep < limit ? keep : limit, name);
}

uint32_t StringFromBuffer(const char* bytes, uint16_t count, char* out)
{
    uint32_t length = 0;
    while (length < count && bytes[length]) {
        out[length] = bytes[length];
        ++length;
    }
    out[length] = '\0';
    return length;
}

char* SlashesToBackslashes(char* path)
{
    for (char* c = path; *c; ++c)
        if (*c == '/')
            *c = '\\';
    return path;
}

char* AppendBackslash(char* path)
{
    uint32_t length = StringLength(path);
    if (length > 0 && !EndsWithBackslash(path)) {
        path[length] = '\\';
        path[length + 1] = '\0';
    }
    return path;
}

static char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A component [begin, end) made only of dots and spaces.
static bool IsDotsAndSpaces(const char* begin, const char* end)
{
    for (const char* c = begin; c < end; ++c)
        if (*c != '.' && *c != ' ')
            return false;
    return begin < end;
}

// Windows opens the device whatever extension follows the device name, and
// ignores spaces before the extension.
static bool IsDeviceName(const char* begin, const char* end)
{
    const char* stem = begin;
    while (stem < end && *stem != '.')
        ++stem;
    while (stem > begin && stem[-1] == ' ')
        --stem;
    uint32_t length = static_cast<uint32_t>(stem - begin);
    char upper[8] = {};
    if (length == 6 || length == 7) {
        for (uint32_t i = 0; i < length; ++i)
            upper[i] = UpperAscii(begin[i]);
        static const char ConsoleIn[] = "CONIN$";
        static const char ConsoleOut[] = "CONOUT$";
        const char* console = length == 6 ? ConsoleIn : ConsoleOut;
        for (uint32_t i = 0; i < length; ++i)
            if (upper[i] != console[i])
                return false;
        return true;
    }
    if (length < 3 || length > 4)
        return false;
    for (uint32_t i = 0; i < length; ++i)
        upper[i] = UpperAscii(begin[i]);
    static const char* const threeLetter[] = {"CON", "PRN", "AUX", "NUL"};
    if (length == 3) {
        for (const char* device : threeLetter)
            if (upper[0] == device[0] && upper[1] == device[1] && upper[2] == device[2])
                return true;
        return false;
    }
    bool numbered = (upper[0] == 'C' && upper[1] == 'O' && upper[2] == 'M') ||
                    (upper[0] == 'L' && upper[1] == 'P' && upper[2] == 'T');
    // Windows also takes the superscript digits 1-3 of the ANSI code page.
    unsigned char digit = static_cast<unsigned char>(upper[3]);
    bool superscript = digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    return numbered && ((digit >= '1' && digit <= '9') || superscript);
}

// Characters no Windows file name may hold; the wildcards would also make an
// existence test match other files.
static bool HasReservedChar(const char* text)
{
    for (const char* c = text; *c; c = NextChar(c)) {
        unsigned char byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte == '*' || byte == '?' || byte == '<' || byte == '>' || byte == '|' || byte == '"')
            return true;
    }
    return false;
}

UnsafeName WhyUnsafeMemberName(const char* name)
{
    const char* path = StripLeadingBackslash(name);
    if (path[0] == '\\')
        return UnsafeName::LeavesDestination;
    if (ContainsChar(path, ':'))
        return UnsafeName::HasColon;
    if (HasReservedChar(path))
        return UnsafeName::ReservedChar;
    const char* begin = path;
    for (const char* c = path;; c = NextChar(c)) {
        if (*c == '\\' || *c == '/' || *c == '\0') {
            if (IsDotsAndSpaces(begin, c))
                return UnsafeName::LeavesDestination;
            if (IsDeviceName(begin, c))
                return UnsafeName::Device;
            if (*c == '\0')
                return UnsafeName::None;
            begin = c + 1;
        }
    }
}
