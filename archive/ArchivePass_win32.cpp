#include "archive/ArchivePass.h"

#include "archive/StubSize.h"
#include "fileio/FileIo.h"
#include "fileio/Memory.h"
#include "fsutil/MemberList.h"
#include "fsutil/PathString.h"
#include "resources/ResourceIds.h"

bool PassRunning = false;
static bool HasDirectories;  // a name read during this pass had a directory part

static const char ArchiveErrorCaption[] = "Archive error..";

// Display name of the member under CurrentHeader, read from the file position
// just after its header. false when the name is empty, longer than
// StoredNameLimit, or cannot be read: the pass then ends with "Error
// retreiving filename.". The name becomes the process's text here
// (TakeStoredName); *fault tells when it must not be used.
static bool ReadDisplayName(HWND dialog, char* nameBuffer, char* displayName, NameFault* fault)
{
    uint32_t length = CurrentHeader.nameLength;
    if (length == 0 || length > StoredNameLimit)
        return false;
    if (ReadFromFile(ArchiveFile, nameBuffer, length) != length)
        return false;
    char* text = displayName;
    if (StringFromBuffer(nameBuffer, static_cast<uint16_t>(length), text) == 0)
        return false;
    bool restoring = IsDlgButtonChecked(dialog, IDC_RESTOREDIRS) == BST_CHECKED;
    bool markedUtf8 = CurrentHeader.flags & FlagUtf8Name;
    // Without directories only the final component is written, so only it
    // may refuse the member.
    char* part = StoredFinalComponent(text, markedUtf8);
    HasDirectories |= part != text;
    if (!restoring)
        CopyString(text, DisplayNameSize, part);  // forwards, from a later position
    *fault = TakeStoredName(text, markedUtf8);
    SlashesToBackslashes(text);
    // A colon splits like a backslash when directories are not restored: the
    // box must stay free to change, or an extracting pass would look up "b"
    // for a listed "aaa:b" and pass the member over without a word.
    if (ContainsChar(text, '\\') || ContainsChar(text, ':'))
        HasDirectories = true;
    if (!restoring) {
        char namePart[MaxNamePartBytes + 1];
        PathNamePart(text, namePart, sizeof namePart);
        CopyString(displayName, DisplayNameSize, namePart);
    }
    return true;
}

static void ShowSummary(HWND dialog, bool allVerified)
{
    SetDlgItemTextA(dialog, IDC_STATUS,
                    allVerified ? "CRC validation passed on all file( s )... extraction successful"
                                : "The remaining hilited file( s ) failed CRC validation");
}

// A walk that stops on anything but the central directory has not seen the
// members after `lastName`; the user is told rather than shown a clean result.
static void ReportDamagedWalk(const char* lastName)
{
    static const char Lead[] = "The archive is damaged or cannot be read past\r\n";
    static const char Tail[] = "\r\nThe members after it were not found.";
    char text[sizeof Lead + DisplayNameSize + sizeof Tail];
    uint32_t length = CopyString(text, sizeof text, Lead);
    length += CopyString(text + length, sizeof text - length, lastName);
    CopyString(text + length, sizeof text - length, Tail);
    MessageBoxA(nullptr, text, ArchiveErrorCaption, MB_OK);
}

void RunArchivePass(HWND dialog, bool listing)
{
    PassRunning = true;  // before the first message box, whose loop dispatches commands
    SeekArchive(StubSize);
    if (CurrentHeaderOffset == -1) {
        MessageBoxA(nullptr, "Error finding attached archive.", ArchiveErrorCaption, MB_OK);
        PassRunning = false;
        return;
    }
    HWND list = GetDlgItem(dialog, IDC_MEMBERLIST);
    HeapBlock<char> nameBuffer(Utf8NameLimit);
    HeapBlock<char> displayName(DisplayNameSize);
    HeapBlock<char> lastName(DisplayNameSize);
    lastName[0] = '\0';
    HasDirectories = false;
    if (listing) {
        // Redrawing the list and its scroll bars after every added item makes
        // listing thousands of members take seconds; draw once at the end.
        SendMessageA(list, WM_SETREDRAW, FALSE, 0);
        SendMessageA(list, LB_RESETCONTENT, 0, 0);
    }

    bool reached = false;
    bool walkComplete = true;   // false when the pass ends before the walk does
    bool memberFailed = false;  // the list may have been clicked since, so it is kept here
    WalkEnd end = WalkEnd::NotEnded;
    uint32_t ordinal = 0;
    bool more = ReadLocalHeader();
    if (!more)
        end = ClassifyWalkEnd();
    for (; more; ++ordinal) {
        PassMember member = {static_cast<uint32_t>(CurrentHeaderOffset), CurrentHeader, displayName.get(), ordinal,
                             NameFault::None};
        if (!ReadDisplayName(dialog, nameBuffer.get(), displayName.get(), &member.nameFault)) {
            MessageBoxA(nullptr, "Error retreiving filename.", ArchiveErrorCaption, MB_OK);
            walkComplete = false;
            break;
        }
        CopyString(lastName.get(), DisplayNameSize, displayName.get());
        if (listing) {
            char namePart[MaxNamePartBytes + 1];
            if (PathNamePart(displayName.get(), namePart, sizeof namePart) > 0)
                AddMemberItem(list, displayName.get(), ordinal);
        } else {
            MemberOutcome outcome = ExtractMember(dialog, list, member, reached);
            if (outcome == MemberOutcome::EndPass) {
                walkComplete = false;
                break;
            }
            memberFailed |= outcome == MemberOutcome::Failed;
        }
        more = StepToNextMember(member.start, member.header, &end);
    }

    if (listing) {
        MapMemberItems(list, ordinal);
        SendMessageA(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    // With no member at all, "Can't read archive header" already says it.
    if (walkComplete && end == WalkEnd::Damaged && lastName[0] != '\0')
        ReportDamagedWalk(lastName.get());
    if (walkComplete && listing && SendMessageA(list, LB_GETCOUNT, 0, 0) == 0)
        MessageBoxA(nullptr, "Can't read archive header", "Error...", MB_OK);
    bool cleanEnd = walkComplete && end == WalkEnd::AtCentralDirectory;
    if (!listing && reached && walkComplete) {
        // A walk that stopped short never claims success.
        bool allVerified = !memberFailed && SendMessageA(list, LB_GETSELCOUNT, 0, 0) == 0;
        if (cleanEnd || !allVerified)
            ShowSummary(dialog, allVerified);
    }
    // A pass that ended early has not seen every name, so it cannot tell that
    // the archive holds no directory.
    if (walkComplete && !HasDirectories) {
        CheckDlgButton(dialog, IDC_RESTOREDIRS, BST_UNCHECKED);
        EnableWindow(GetDlgItem(dialog, IDC_RESTOREDIRS), FALSE);
    }
    PassRunning = false;
}
