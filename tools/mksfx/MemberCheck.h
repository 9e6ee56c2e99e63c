#pragma once
// The member check: a member decoded by the stub's own decoders, with the
// stub's password rules, so that a member that passes here passes in the stub.
#include "tools/mksfx/ArchiveWalk.h"

#include "archive/LocalHeader.h"
#include "fileio/FileIo.h"

#include <cstdint>
#include <string>

// Password state of a test or extract run: like the stub, the last accepted
// password is tried first for every encrypted member.
class PasswordKeeper {
public:
    explicit PasswordKeeper(const ParsedCommandLine& parsed);
    // Only this password, never a prompt.
    explicit PasswordKeeper(const std::string& password) : password(password) {}

    // Reads the member's encryption header and checks the password, asking on
    // the terminal when none fits and one may be asked. Leaves the keys at the
    // member's data and ArchiveFile just after the header. Returns the error, or "".
    std::string Unlock(const WalkedMember& member);

private:
    std::string password;
    bool interactive = false;
};

// Decodes the member's data from ArchiveFile into `output` exactly as the stub
// does. For an encrypted member PasswordKeeper::Unlock has run. Returns the
// error, or "".
std::string DecodeMember(const WalkedMember& member, FileHandle output);

// Checks one member of ArchiveFile as the stub checks it, with its own
// decoders: for an encrypted member the password against the encryption
// header first, then the data against the CRC-32, written to `output`.
// `header` is the local header that starts at `start` (its name and extra
// field lengths place the data) carrying the flags, method, time, CRC-32 and
// sizes the stub will see. Returns the error, or "".
std::string CheckMemberData(uint32_t start, const LocalFileHeader& header, const std::string& password,
                            FileHandle output);
