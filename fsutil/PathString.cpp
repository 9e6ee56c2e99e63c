#include "fsutil/PathString.h"

#include "fsutil/Utf8.h"

static bool IsSplitChar(char c)
{
    return c == '\\' || c == '/' || c == ':';
}

// The code page's lead-byte ranges, pairs of first and last byte; a 0 ends them.
static uint8_t LeadByteRanges[MaxLeadByteRanges * 2 + 1];

static bool Utf8Text;  // true: the text is UTF-8, and LeadByteRanges play no part
// Set by SetSuperscriptDigits; empty means code page 1252's. Zeroed at start,
// so the stub's image needs no initialised data for it.
static char SuperscriptDigits[MaxSuperscriptBytes + 1];

void SetLeadByteRanges(const uint8_t* ranges, uint32_t count)
{
    for (uint32_t i = 0; i < MaxLeadByteRanges * 2; ++i)
        LeadByteRanges[i] = i < count ? ranges[i] : 0;
}

void SetUtf8Text(bool utf8)
{
    Utf8Text = utf8;
}

void SetSuperscriptDigits(const char* digits)
{
    CopyString(SuperscriptDigits, sizeof SuperscriptDigits, digits);
}

const char* NextChar(const char* text)
{
    uint8_t byte = static_cast<uint8_t>(text[0]);
    if (Utf8Text) {
        // The terminator is no continuation byte, so the length test stops there.
        uint32_t length = Utf8CharLength(text, text + 4);
        return text + (length ? length : 1);
    }
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

uint32_t CharUnits(const char* text)
{
    uint32_t bytes = static_cast<uint32_t>(NextChar(text) - text);
    return Utf8Text ? (bytes == 4 ? 2 : 1) : bytes;
}

uint32_t TextUnits(const char* text)
{
    uint32_t units = 0;
    for (; *text; text = NextChar(text))
        units += CharUnits(text);
    return units;
}

uint32_t CutToUnits(char* text, uint32_t units)
{
    char* end = text;
    for (; *end && CharUnits(end) <= units; end = const_cast<char*>(NextChar(end)))
        units -= CharUnits(end);
    *end = '\0';
    return static_cast<uint32_t>(end - text);
}

uint32_t PathNamePart(const char* path, char* out, uint32_t outSize)
{
    const char* name = path;
    for (const char* c = path; *c; c = NextChar(c))
        if (IsSplitChar(*c))
            name = c + 1;
    if (outSize == 0)
        return 0;
    const char* end = name;  // the cut falls between characters
    uint32_t units = 0;
    while (*end && units + CharUnits(end) <= MaxNamePart &&
           static_cast<uint32_t>(NextChar(end) - name) < outSize) {
        units += CharUnits(end);
        end = NextChar(end);
    }
    return CopyString(out, static_cast<uint32_t>(end - name) + 1, name);
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

// The digit of a numbered device, [begin, end): 1-9, or a superscript 1-3.
static bool IsDeviceDigit(const char* begin, const char* end)
{
    uint32_t length = static_cast<uint32_t>(end - begin);
    if (length == 1 && *begin >= '1' && *begin <= '9')
        return true;
    const char* digits = SuperscriptDigits[0] ? SuperscriptDigits : "\xB9\xB2\xB3";
    for (const char* digit = digits; *digit; digit = NextChar(digit)) {
        uint32_t i = 0;
        while (i < length && digit[i] == begin[i])
            ++i;
        if (i == length && NextChar(digit) == digit + length)
            return true;
    }
    return false;
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
    // The whole name for the first six, the letters before the digit for the last two.
    static const char* const Devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "COM", "LPT"};
    for (uint32_t d = 0; d < 8; ++d) {
        const char* device = Devices[d];
        uint32_t i = 0;
        while (device[i] && i < length && UpperAscii(begin[i]) == device[i])
            ++i;
        if (device[i] != '\0')
            continue;
        if (d < 6 ? i == length : IsDeviceDigit(begin + 3, stem))
            return true;
    }
    return false;
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
