#pragma once

// The extraction's two prompts, shown without an owner window so the main
// dialog stays enabled while they are open.

// Asks for a password into PasswordText/PasswordLength. Only "&Ok" leaves it.
void AskForPassword();

// Asks whether to overwrite ExistingName; sets OverwriteAnswer and, with
// "Don't &ask again" checked, OverwriteMode and the main dialog's radio buttons.
void ConfirmOverwrite();
