#include "fsutil/MemberName.h"

#include "fsutil/PathString.h"
#include "fsutil/Utf8.h"

#include <windows.h>

uint32_t StoredNameLimit;
uint32_t SystemCodePage;

void SetUpNameText()
{
    if (GetACP() == CP_UTF8) {
        SetUtf8Text(true);
        StoredNameLimit = Utf8NameLimit;
        DWORD system = 0;
        GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPSTR>(&system), sizeof system);
        SystemCodePage = system != 0 ? system : CP_UTF8;  // no answer: such names are read as UTF-8 too
    } else {
        StoredNameLimit = NameBufferSize;
        CPINFO codePage;
        if (GetCPInfo(CP_ACP, &codePage))
            SetLeadByteRanges(codePage.LeadByte, MAX_LEADBYTES);
    }
    static const WCHAR Superscripts[] = {0x00B9, 0x00B2, 0x00B3, 0};
    char digits[MaxSuperscriptBytes + 1];
    if (WideCharToMultiByte(CP_ACP, 0, Superscripts, -1, digits, sizeof digits, nullptr, nullptr))
        SetSuperscriptDigits(digits);
}

char* StoredFinalComponent(char* name, bool markedUtf8)
{
    char* part = name;
    // No byte of another UTF-8 character is an ASCII byte.
    for (char* c = name; *c; c = markedUtf8 ? c + 1 : CharNextExA(SystemCodePage, c, 0))
        if (*c == '/' || *c == '\\' || *c == ':')
            part = c + 1;
    return part;
}

NameFault TakeStoredName(char* name, bool markedUtf8)
{
    if (markedUtf8 && !IsValidUtf8(name, StringLength(name)))
        return NameFault::NotUtf8;
    bool utf8Text = SystemCodePage != 0;
    if (markedUtf8 == utf8Text)
        return NameFault::None;     // stored as the process's text
    WCHAR wide[Utf8NameLimit + 1];  // one UTF-16 unit per stored byte at most
    int count = MultiByteToWideChar(markedUtf8 ? CP_UTF8 : SystemCodePage, MB_ERR_INVALID_CHARS, name, -1, wide,
                                    Utf8NameLimit + 1);
    if (count == 0)
        return NameFault::NotInSystemCodePage;  // UTF-8 was checked above: only code-page bytes fail here
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(utf8Text ? CP_UTF8 : CP_ACP, utf8Text ? 0 : WC_NO_BEST_FIT_CHARS, wide, count, name,
                        DisplayNameSize, nullptr, utf8Text ? nullptr : &usedDefault);
    return usedDefault ? NameFault::NotInCodePage : NameFault::None;
}
