#pragma once

#include "archive/LocalHeader.h"

// Why a member's name cannot be used even though its bytes were read.
enum class NameFault : uint8_t {
    None,
    NotUtf8,        // marked as UTF-8 (flag bit 11) but not valid UTF-8
    NotInCodePage,  // holds a character the system's code page has no exact form for
};

// Rewrites a name stored in UTF-8 in place in the system's ANSI code page.
// Never a best-fit form: the fullwidth solidus and reverse solidus would
// become "/" and "\". A character without an exact form becomes the code
// page's default character ("?"); a name that is not UTF-8 stays as stored.
// Either way the name can still be shown, and the result says why it must
// not be used. `name` is zero-terminated in a buffer of NameBufferSize + 1
// bytes; in an ANSI code page no character takes more bytes than in UTF-8.
NameFault ConvertUtf8Name(char* name);
