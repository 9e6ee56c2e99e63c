#pragma once
#include <cstdint>
#include <windows.h>

#include "archive/LocalHeader.h"
#include "fsutil/MemberName.h"

// The one routine over the archive: listing fills the main dialog's member
// list, extracting writes the selected members. Not re-entrant: it works on the
// globals, on ArchiveFile's single position and on the list's selection.
void RunArchivePass(HWND dialog, bool listing);

// true while a pass runs; the main dialog ignores or defers commands meanwhile.
extern bool PassRunning;

// What the driver tells the pass after a member. Failed: the member was tried
// and not extracted (refused name, file that did not open, damaged data); the
// pass goes on but never reports success, whatever the list shows by then.
enum class MemberOutcome { Continue, Failed, EndPass };

// The member being handled by an extracting pass.
struct PassMember {
    uint32_t start;           // offset of its local header
    LocalFileHeader header;   // a copy: the walk overwrites CurrentHeader
    const char* displayName;  // as listed
    uint32_t ordinal;         // in the walk: 0 for the first member
    NameFault nameFault;      // a name that is never used for a file, and why
};

// Extracts one member whose display name has been worked out. `reached` is set
// when a selected member was reached and got past the password step.
MemberOutcome ExtractMember(HWND dialog, HWND list, const PassMember& member, bool& reached);
