#include "archive/ArchivePass.h"
#include "archive/ExtractChoices.h"
#include "archive/MemberData.h"
#include "archive/OutputPath.h"
#include "decode/Decrypt.h"
#include "dialogs/Prompts.h"
#include "fileio/FileIo.h"
#include "fsutil/FileSystem.h"
#include "fsutil/MemberList.h"
#include "fsutil/PathString.h"
#include "resources/ResourceIds.h"

char ExtractPath[ExtractPathSize];
char Password[PasswordTextSize];

static const char UnableCaption[] = "Unable to extract...";
// What CreateFileA accepts: MAX_PATH - 1 units (TextUnits), each up to 3 bytes in UTF-8.
constexpr uint32_t OutputPathSize = 3 * MAX_PATH;

static void UnselectCurrentItem(HWND list)
{
    SendMessageA(list, LB_SETSEL, FALSE, static_cast<LPARAM>(CurrentMemberItem));
}

enum class PasswordOutcome { Verified, Refused, HeaderMissing };

// Tries the remembered password, then up to three typed ones. Leaves the keys
// at the start of the member's data when it succeeds.
static PasswordOutcome VerifyPassword(const PassMember& member)
{
    uint8_t header[2 * EncryptionHeaderSize];
    uint64_t dataOffset = LayOutMember(member.start, member.header).dataOffset;
    // A member shorter than its encryption header has none: the bytes there
    // belong to whatever follows it.
    if (member.header.compressedSize < EncryptionHeaderSize || dataOffset > 0xFFFFFFFFu ||
        SeekFileTo(ArchiveFile, static_cast<uint32_t>(dataOffset)) == -1 ||
        ReadFromFile(ArchiveFile, header + EncryptionHeaderSize, EncryptionHeaderSize) != EncryptionHeaderSize)
        return PasswordOutcome::HeaderMissing;
    uint32_t timeAndDate = member.header.modificationTime | (uint32_t{member.header.modificationDate} << 16);
    auto check = [&] {
        return CheckEncryptionHeader(header, EncryptionHeaderSize, member.header.flags, Password, timeAndDate,
                                     member.header.crc32);
    };
    bool verified = Password[0] != '\0' && check();
    for (int attempt = 0; !verified && attempt < 3; ++attempt) {
        AskForPassword();
        StringFromBuffer(PasswordText, static_cast<uint16_t>(PasswordLength), Password);
        verified = check();
    }
    return verified ? PasswordOutcome::Verified : PasswordOutcome::Refused;
}

// Each refusal's reason, completing "its name ".
static const char* RefusalReason(NameFault fault, UnsafeName unsafe)
{
    switch (fault) {
    case NameFault::NotUtf8:
        return "is not valid UTF-8.";
    case NameFault::NotInCodePage:
        return "has characters this system cannot write.";
    case NameFault::NotInSystemCodePage:
        return "is not valid in this system's code page.";
    case NameFault::None:
        break;
    }
    switch (unsafe) {
    case UnsafeName::HasColon:
        return "holds a colon, which names a drive or a stream.";
    case UnsafeName::ReservedChar:
        return "holds a character no file name may hold.";
    case UnsafeName::Device:
        return "names a device.";
    default:
        return "leads outside the destination folder.";
    }
}

static void ShowRefusedName(const char* displayName, const char* why)
{
    char text[DisplayNameSize + 96];
    uint32_t length = CopyString(text, sizeof text, displayName);
    length += CopyString(text + length, sizeof text - length, "\r\nwas not extracted: its name ");
    CopyString(text + length, sizeof text - length, why);
    MessageBoxA(nullptr, text, UnableCaption, MB_OK);
}

// true when the member should replace the file already at its output path.
static bool MayReplace(HWND dialog, HWND list, const char* outputPath)
{
    if (OverwriteMode == OverwriteConfirm) {
        PathNamePart(outputPath, ExistingName, sizeof ExistingName);
        ConfirmOverwrite(dialog);
        if (OverwriteAnswer)
            return true;
    } else if (OverwriteMode != OverwriteSkip) {
        return true;
    }
    UnselectCurrentItem(list);  // left alone by the user's policy: not a failure
    return false;
}

// The status line and the message queue are brought up to date at most this
// often, in milliseconds, and before any member large enough to take a while
// (LongMemberBytes of data, read or written). Under Wine, setting the status
// text and asking for a message after every member cost more than writing a
// small file, and a text shown for a millisecond tells the user nothing; ten
// times a second keeps the window answering and the status line moving.
constexpr DWORD RefreshIntervalMs = 100;
constexpr uint32_t LongMemberBytes = 1u << 20;
static DWORD LastRefresh;  // GetTickCount at the last refresh

// Names the member in the status line and lets one waiting message through.
// Whatever that message does runs here, between two members: commands that
// would disturb the pass are ignored or deferred by the main dialog.
// With `always`, whatever the last refresh: before a box about the member.
static void RefreshProgress(HWND dialog, const PassMember& member, const char* outputPath, bool always = false)
{
    DWORD now = GetTickCount();
    if (!always && now - LastRefresh < RefreshIntervalMs && member.header.compressedSize < LongMemberBytes &&
        member.header.uncompressedSize < LongMemberBytes)
        return;
    LastRefresh = now;
    char status[sizeof "Extracting: " + OutputPathSize];
    uint32_t length = CopyString(status, sizeof status, "Extracting: ");
    CopyString(status + length, sizeof status - length, outputPath);
    SetDlgItemTextA(dialog, IDC_STATUS, status);
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

MemberOutcome ExtractMember(HWND dialog, HWND list, const PassMember& member, bool& reached)
{
    if (!IsMemberSelected(list, member.ordinal))
        return MemberOutcome::Continue;
    UnsafeName unsafe = WhyUnsafeMemberName(member.displayName);
    if (member.nameFault != NameFault::None || unsafe != UnsafeName::None) {
        reached = true;
        ShowRefusedName(member.displayName, RefusalReason(member.nameFault, unsafe));  // the item stays selected
        return MemberOutcome::Failed;
    }
    // No password opens what cannot be decoded (WinZip AES is method 99,
    // strong encryption sets bit 6), so none is asked for.
    const LocalFileHeader& header = member.header;
    bool decodable = WhyUndecodable(header) == Undecodable::None;
    if (decodable && (header.flags & FlagEncrypted)) {
        PasswordOutcome password = VerifyPassword(member);
        if (password == PasswordOutcome::Refused)
            return MemberOutcome::EndPass;  // three wrong passwords end the pass without a word
        if (password == PasswordOutcome::HeaderMissing) {
            // No whole encryption header (the member is shorter than one, or
            // the archive ends inside it): it fails, but no password was
            // refused, so the pass goes on and its summary reports it.
            reached = true;
            return MemberOutcome::Failed;
        }
    }
    reached = true;

    char outputPath[OutputPathSize];
    if (!FormOutputPath(ExtractPath, member.displayName, outputPath, sizeof outputPath) ||
        TextUnits(outputPath) >= MAX_PATH) {
        // Longer than any path Windows opens: never written, and shown whole.
        char shown[ExtractPathSize + 1 + DisplayNameSize];
        FormOutputPath(ExtractPath, member.displayName, shown, sizeof shown);
        MessageBoxA(nullptr, shown, "Couldn't open...", MB_OK);
        return MemberOutcome::Failed;
    }
    char directory[OutputPathSize];
    PathDirPart(outputPath, directory, sizeof directory);
    char temporary[OutputPathSize];
    bool replacing = false;
    OutputFile = NoFile;
    // Most files are new: creating one that must not exist yet tells that
    // without searching for it first. Anything else takes the road below.
    if (decodable) {
        EnsureDirectory(directory);  // a failure shows as the file not opening
        OutputFile = CreateOutputFile(outputPath, true);
    }
    if (OutputFile == NoFile) {
        replacing = PathExists(outputPath);
        if (replacing && !MayReplace(dialog, list, outputPath))
            return MemberOutcome::Continue;
        if (!decodable) {
            // Told after the policy has had its say and before anything is
            // created, with the member named in the status line.
            RefreshProgress(dialog, member, outputPath, true);
            MessageBoxA(nullptr, "Unsupported compression method", UnableCaption, MB_OK);
            return MemberOutcome::EndPass;
        }

        // An existing file gives way only to a member that verified: the data
        // goes to a temporary file beside it, which takes the file's place at
        // the end. What can never be replaced fails before anything is decoded.
        if (!replacing)
            OutputFile = CreateOutputFile(outputPath);
        else if (IsReplaceableFile(outputPath))
            OutputFile = CreateTemporaryIn(directory, temporary);
        if (OutputFile == NoFile) {
            MessageBoxA(nullptr, outputPath, "Couldn't open...", MB_OK);
            return MemberOutcome::Failed;
        }
    }
    RefreshProgress(dialog, member, outputPath);
    bool verified = DecodeMemberData(member.start, member.header) == DataOutcome::Verified;
    bool closed = CloseFile(OutputFile);
    OutputFile = NoFile;
    if (!closed)
        MessageBoxA(nullptr, outputPath, "Error Closing...", MB_OK);
    if (replacing) {
        // A file that may not be whole on disk never takes the old one's place.
        verified = verified && closed;
        if (verified && !ReplaceWithTemporary(outputPath, temporary)) {
            MessageBoxA(nullptr, outputPath, "Couldn't open...", MB_OK);
            verified = false;
        }
        if (!verified && !DeleteTemporary(temporary))
            MessageBoxA(nullptr, temporary, "Couldn't delete...", MB_OK);
    }
    if (!verified)
        return MemberOutcome::Failed;
    UnselectCurrentItem(list);
    return MemberOutcome::Continue;
}
