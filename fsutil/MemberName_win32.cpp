#include "fsutil/MemberName.h"

#include <windows.h>

NameFault ConvertUtf8Name(char* name)
{
    WCHAR wide[NameBufferSize + 1];  // one UTF-16 unit per UTF-8 byte at most
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, NameBufferSize + 1);
    if (count == 0)
        return NameFault::NotUtf8;
    // When the code page is UTF-8 itself the call refuses these arguments and
    // the name stays as stored, which is then its exact form.
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, count, name, NameBufferSize + 1, nullptr, &usedDefault);
    return usedDefault ? NameFault::NotInCodePage : NameFault::None;
}
