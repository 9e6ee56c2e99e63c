#pragma once
#include <cstdint>
#include <windows.h>

#include "decode/Decrypt.h"
#include "fileio/Memory.h"
#include "fsutil/PathString.h"

// The extraction's two prompts, shown without an owner window so the main
// dialog stays enabled while they are open, and what each exchanges with the
// extraction driver.

// Two bytes a character in a double-byte code page.
constexpr uint32_t PasswordTextSize = 2 * MaxPasswordLength + 1;
extern char PasswordText[PasswordTextSize];  // written by the password prompt
extern uint32_t PasswordLength;              // bytes in PasswordText, 0..PasswordTextSize - 1

// Asks for a password into PasswordText/PasswordLength. Only "&Ok" leaves it.
void AskForPassword();

enum OverwriteChoice : uint8_t { OverwriteAlways = 0, OverwriteSkip = 1, OverwriteConfirm = 2 };
extern uint8_t OverwriteMode;  // an OverwriteChoice; the confirmation may change it mid-pass

// The final component of the output path the confirmation names.
extern char ExistingName[MaxNamePartBytes + 1] ZELVIX_NOT_IN_IMAGE;
extern uint8_t OverwriteAnswer;  // 1: overwrite the file named, 0: leave it

// Asks whether to overwrite ExistingName; sets OverwriteAnswer and, with
// "Don't &ask again" checked, OverwriteMode and the radio buttons of
// `mainDialog` that show it.
void ConfirmOverwrite(HWND mainDialog);
