#pragma once

#include <cstdint>

#include "fsutil/PathString.h"

// Why a member's name cannot be used even though its bytes were read.
enum class NameFault : uint8_t {
    None,
    NotUtf8,              // marked as UTF-8 (flag bit 11) but not valid UTF-8
    NotInCodePage,        // holds a character the process's code page has no exact form for
    NotInSystemCodePage,  // not marked as UTF-8, and no valid text in the system's code page
};

// In UTF-8 a name may take up to this many bytes: a name of MAX_PATH UTF-16
// units takes up to three bytes for each.
constexpr uint32_t Utf8NameLimit = 3 * NameBufferSize;
// Holds any name read, as the process's text: a code page's byte becomes at
// most one UTF-16 unit, which UTF-8 writes in at most 3 bytes.
constexpr uint32_t DisplayNameSize = 3 * Utf8NameLimit + 1;

// The longest name read, in bytes; longer ones are refused, never cut.
// NameBufferSize in a code page, Utf8NameLimit when the process's code page is
// UTF-8. Set by SetUpNameText (0 before it, which refuses every name).
extern uint32_t StoredNameLimit;

// The system's ANSI code page while the process's is UTF-8; 0 (CP_ACP) while
// the two are the same. Names without the UTF-8 flag, and the bytes of
// passwords, are in it. Set by SetUpNameText.
extern uint32_t SystemCodePage;

// Learns the process's code page once, at start, and sets the text functions
// (fsutil/PathString.h) to it: UTF-8 where the manifest's entry is honoured
// (Windows 10 1903 and later), the system's ANSI code page before.
void SetUpNameText();

// The final component of a stored name, after the last "/", "\" or ":" as
// its encoding writes them: UTF-8 when it is marked so, else the system's
// ANSI code page, whose second bytes may be 0x5C. Points into `name`.
char* StoredFinalComponent(char* name, bool markedUtf8);

// Rewrites a stored name in place as the process's text: in UTF-8 a name
// marked as UTF-8 stays as it is and any other is converted from the
// system's ANSI code page; in a code page a name marked as UTF-8 is converted
// to it and any other stays. Never a best-fit form: the fullwidth solidus and
// reverse solidus would become "/" and "\". A name that fails stays as stored,
// or with the code page's default character ("?") where a character has no
// exact form, so that it can still be shown; the result says why it must not
// be used. `name` is zero-terminated, at most StoredNameLimit bytes, in a
// buffer of DisplayNameSize bytes.
NameFault TakeStoredName(char* name, bool markedUtf8);
