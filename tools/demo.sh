#!/usr/bin/env bash
# Builds a demo self-extracting archive from samples/ and opens it under Wine.
# With no X display it runs under its own Xvfb and saves build/demo.png.
set -euo pipefail
cd "$(dirname "$0")/.."
stub=build/win32/sfx.exe
demo=build/demo.exe
mksfx=build/host/mksfx
if [ ! -x "$mksfx" ]; then
  echo "demo: $mksfx is missing; 'make host' builds it" >&2
  exit 1
fi
# Packs with the stub that "make stub" just built, and checks the result as the stub will read it.
"$mksfx" create -q --stub "$stub" -o "$demo" -C samples .
"$mksfx" test -q "$demo"
echo "demo: $demo ($(stat -c %s "$demo") bytes)"

if ! tools/can-run-win32.sh; then
  echo "demo: $demo is built and tested, but cannot be opened on this machine" >&2
  exit 1
fi
export WINEPREFIX="${ZELVIX_WINEPREFIX:-$PWD/build/wineprefix}" WINEDEBUG=-all WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$demo"
fi
# No display: show it on a private Xvfb, take a screenshot, then close it.
ZELVIX_WINE_TIMEOUT=10 ZELVIX_SCREENSHOT="$PWD/build/demo.png" ZELVIX_SCREENSHOT_DELAY=6 \
  ZELVIX_WINEPREFIX="$WINEPREFIX" tests/win32/wine-run.sh "$demo" || true
echo "demo: screenshot in build/demo.png"
