#include "archive/OutputPath.h"

#include "fsutil/PathString.h"

bool FormOutputPath(const char* extractPath, const char* displayName, char* out, uint32_t outSize)
{
    const char* name = StripLeadingBackslash(displayName);
    uint32_t baseLength = StringLength(extractPath);
    bool needsSeparator = baseLength > 0 && !EndsWithBackslash(extractPath);
    uint32_t total = baseLength + (needsSeparator ? 1 : 0) + StringLength(name);
    if (outSize == 0 || total > outSize - 1)
        return false;
    uint32_t length = CopyString(out, outSize, extractPath);
    if (needsSeparator)
        out[length++] = '\\';
    CopyString(out + length, outSize - length, name);
    return true;
}
