#!/usr/bin/env bash
# Exits 0 when this machine can run the stub's PE32 programs under Wine.
# Wine runs them in a 32-bit x86 Linux process, so a kernel that refuses
# 32-bit ELF programs (no IA-32 emulation, as on some virtual machines)
# cannot run them at all; the loader then fails with "Exec format error".
# Prints why on standard error when it cannot.
loader=
for candidate in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine; do
  [ -x "$candidate" ] && loader=$candidate && break
done
if [ -z "$loader" ]; then
  echo "can-run-win32: no 32-bit Wine loader (package wine32:i386) is installed" >&2
  exit 1
fi
if ! "$loader" --version >/dev/null 2>&1; then
  echo "can-run-win32: this machine's kernel does not execute 32-bit x86 programs ($loader: $(uname -r)), so Wine cannot run PE32 programs here" >&2
  exit 1
fi
exit 0
