#include "fsutil/MemberName.h"

#include "fsutil/PathString.h"
#include "fsutil/Utf8.h"

#include <windows.h>

uint32_t StoredNameLimit = NameBufferSize;
// The system's ANSI code page, in which names not marked as UTF-8 are stored,
// while the process's own is UTF-8; 0 while the process's code page is that one.
static UINT StoredCodePage;

void SetUpNameText()
{
    if (GetACP() == CP_UTF8) {
        SetUtf8Text(true);
        StoredNameLimit = Utf8NameLimit;
        DWORD system = 0;
        GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPSTR>(&system), sizeof system);
        StoredCodePage = system != 0 ? system : CP_UTF8;  // no answer: such names are read as UTF-8 too
        return;
    }
    CPINFO codePage;
    if (GetCPInfo(CP_ACP, &codePage))
        SetLeadByteRanges(codePage.LeadByte, MAX_LEADBYTES);
    uint8_t digits[3];
    static const WCHAR Superscripts[] = {0x00B9, 0x00B2, 0x00B3};
    for (uint32_t i = 0; i < 3; ++i) {
        BOOL usedDefault = FALSE;
        char bytes[2];
        int count = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Superscripts + i, 1, bytes, sizeof bytes,
                                        nullptr, &usedDefault);
        digits[i] = count == 1 && !usedDefault ? static_cast<uint8_t>(bytes[0]) : 0;
    }
    SetSuperscriptDigits(digits);
}

NameFault TakeStoredName(char* name, bool markedUtf8)
{
    if (markedUtf8 && !IsValidUtf8(name, StringLength(name)))
        return NameFault::NotUtf8;
    bool utf8Text = StoredCodePage != 0;
    if (markedUtf8 == utf8Text)
        return NameFault::None;  // stored as the process's text
    WCHAR wide[Utf8NameLimit + 1];  // one UTF-16 unit per stored byte at most
    int count = MultiByteToWideChar(markedUtf8 ? CP_UTF8 : StoredCodePage, MB_ERR_INVALID_CHARS, name, -1, wide,
                                    Utf8NameLimit + 1);
    if (count == 0)
        return NameFault::NotInSystemCodePage;  // UTF-8 was checked above: only code-page bytes fail here
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(utf8Text ? CP_UTF8 : CP_ACP, utf8Text ? 0 : WC_NO_BEST_FIT_CHARS, wide, count, name,
                        DisplayNameSize, nullptr, utf8Text ? nullptr : &usedDefault);
    return usedDefault ? NameFault::NotInCodePage : NameFault::None;
}
