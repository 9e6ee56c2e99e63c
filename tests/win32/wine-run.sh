#!/usr/bin/env bash
# Runs one Windows program under Wine with its own X display (a fresh Xvfb) and
# the test prefix, then stops exactly what it started: the Xvfb and the
# prefix's wineserver. CMake uses it as the emulator of cross-built tests.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]; the exit code is the program's.
# ZELVIX_SCREENSHOT=FILE saves a screenshot of the program's windows
# ZELVIX_SCREENSHOT_DELAY seconds in (or once one is shown, if later), and
# ZELVIX_SCREENSHOT_END=1 then ends the program;
# ZELVIX_WINE_TIMEOUT bounds the program's run (seconds; 0 for no bound).
# ZELVIX_WINE_UNMANAGED=1 makes the prefix's windows unmanaged (see below).
# A PE32 program (the stub's i686 tree) runs under 32-bit Wine in a win32
# prefix; a PE32+ program (the x86-64 twin tree, build/win64) under the 64-bit
# loader and server in a win64 prefix of its own. Exits 77 (ctest's "skipped")
# without running anything when the loader the program needs cannot run here:
# for PE32, on a machine that cannot execute 32-bit x86 programs.
set -u
here=$(cd "$(dirname "$0")" && pwd)

# The machine field of the PE header ("8664" for x86-64); empty when the file
# is no PE image.
pe_machine() {
  local header
  header=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$header" ] && od -An -tx2 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}

if [ "$(pe_machine "$1")" = 8664 ]; then
  wine_loader=/usr/lib/wine/wine64
  wine_server=/usr/lib/wine/wineserver64
  if ! "$wine_loader" --version >/dev/null 2>&1 || [ ! -x "$wine_server" ]; then
    echo "wine-run: no 64-bit Wine that runs here ($wine_loader, $wine_server; package wine64); skipped $1" >&2
    exit 77
  fi
  export WINEARCH=win64 WINELOADER="$wine_loader" WINESERVER="$wine_server"
  default_prefix=${TMPDIR:-/tmp}/zelvix-wine64-$(id -u)
else
  if ! "$here/../../tools/can-run-win32.sh"; then
    echo "wine-run: skipped $1" >&2
    exit 77
  fi
  wine_loader=wine
  wine_server=wineserver
  export WINEARCH=win32
  default_prefix=${TMPDIR:-/tmp}/zelvix-wine-$(id -u)
fi
: "${ZELVIX_WINEPREFIX:=$default_prefix}"
export WINEPREFIX="$ZELVIX_WINEPREFIX"
export WINEDEBUG="${ZELVIX_WINEDEBUG:--all}"
# winedbg disabled: a crashing program must end, not wait in a debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
timeout_seconds=${ZELVIX_WINE_TIMEOUT:-600}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # One prefix serves every Wine test of a tree; creating it takes a few
  # seconds once.
  mkdir -p "$WINEPREFIX"
  timeout 180 "$wine_loader" wineboot -i >/dev/null 2>&1
  timeout 60 "$wine_server" -w
fi

# Debian's Wine looks for its own fonts in the system's font folder, not in
# /usr/share/wine/fonts where fonts-wine puts them. Without them the caption
# buttons lack Marlett's symbols (they read "0 1 r") and dialogs fall back to
# DejaVu; linked into the prefix's Fonts folder, Wine loads them at start.
prefix_fonts=$WINEPREFIX/drive_c/windows/Fonts
if [ -e /usr/share/wine/fonts/marlett.ttf ] && [ -d "$prefix_fonts" ] && [ ! -e "$prefix_fonts/marlett.ttf" ]; then
  ln -sf /usr/share/wine/fonts/* "$prefix_fonts/"
fi

# Under a bare Xvfb no window manager ever answers, and Wine waits 2 s for it
# each time a managed window (a dialog, a message box) is hidden. With the
# prefix's X11 driver set to leave windows unmanaged, Wine places and frames
# them itself and does not wait; the tests see the same windows and messages.
if [ "${ZELVIX_WINE_UNMANAGED:-}" = 1 ] && ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  timeout 60 "$wine_loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  timeout 60 "$wine_server" -w
fi

# WIDTHxHEIGHT+X+Y of the smallest rectangle around the shown top-level
# windows, frames included (Wine draws them inside an unmanaged window; a
# window manager's are outside it, and there is none on the private Xvfb);
# the whole screen when no window is shown.
shown_area() {
  xwininfo -root -children | awk '/^ +0x/ { print $1 }' | while read -r window; do
    xwininfo -id "$window" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
      /Width:/ { w = $NF } /Height:/ { h = $NF } /Map State:/ { shown = $NF == "IsViewable" }
      END { if (shown && w > 1 && h > 1) print x, y, x + w, y + h }'
  done | awk 'NR == 1 { l = $1; t = $2; r = $3; b = $4 }
    { if ($1 < l) l = $1; if ($2 < t) t = $2; if ($3 > r) r = $3; if ($4 > b) b = $4 }
    END { if (NR) printf "%dx%d+%d+%d\n", r - l, b - t, l, t; else print "100%" }'
}

xvfb_pid=
display_file=$(mktemp)
cleanup() {
  "$wine_server" -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -f "$display_file"
}
trap cleanup EXIT

if [ -z "${ZELVIX_USE_DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  if [ ! -s "$display_file" ]; then
    echo "wine-run: Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n1 "$display_file")"
else
  export DISPLAY="$ZELVIX_USE_DISPLAY"
fi

timeout --kill-after=10 "$timeout_seconds" "$wine_loader" "$@" &
program=$!
if [ -n "${ZELVIX_SCREENSHOT:-}" ]; then
  # For looking at a window: wait for it to settle (past the delay, for one to
  # be shown at all, as a busy machine may take longer), then capture the part
  # of the display the program's windows cover.
  sleep "${ZELVIX_SCREENSHOT_DELAY:-5}"
  late=
  while [ "$(shown_area)" = 100% ] && kill -0 "$program" 2>/dev/null; do
    sleep 1
    late=1
  done
  [ -z "$late" ] || sleep 2  # the window just shown paints
  import -window root -crop "$(shown_area)" +repage "$ZELVIX_SCREENSHOT" || echo "wine-run: screenshot failed" >&2
  [ "${ZELVIX_SCREENSHOT_END:-}" = 1 ] && "$wine_server" -k >/dev/null 2>&1
fi
wait "$program"
exit $?
