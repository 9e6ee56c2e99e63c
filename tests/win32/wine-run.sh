#!/usr/bin/env bash
# Runs one Windows program under Wine with its own X display (a fresh Xvfb) and
# the test prefix, then stops exactly what it started: the Xvfb and the
# prefix's wineserver. CMake uses it as the emulator of cross-built tests.
# Usage: wine-run.sh PROGRAM.exe [ARGS...]; the exit code is the program's.
# ZELVIX_SCREENSHOT=FILE saves a screenshot ZELVIX_SCREENSHOT_DELAY seconds in;
# ZELVIX_WINE_TIMEOUT bounds the program's run (seconds).
# Exits 77 (ctest's "skipped") without running anything on a machine that
# cannot execute 32-bit x86 programs, where Wine cannot start a PE32 program.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! "$here/../../tools/can-run-win32.sh"; then
  echo "wine-run: skipped $1" >&2
  exit 77
fi
: "${ZELVIX_WINEPREFIX:=${TMPDIR:-/tmp}/zelvix-wine-$(id -u)}"
export WINEPREFIX="$ZELVIX_WINEPREFIX"
export WINEDEBUG="${ZELVIX_WINEDEBUG:--all}"
# winedbg disabled: a crashing program must end, not wait in a debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export WINEARCH=win32
timeout_seconds=${ZELVIX_WINE_TIMEOUT:-600}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # One prefix serves every Wine test; creating it takes a few seconds once.
  mkdir -p "$WINEPREFIX"
  timeout 180 wineboot -i >/dev/null 2>&1
  timeout 60 wineserver -w
fi

xvfb_pid=
display_file=$(mktemp)
cleanup() {
  wineserver -k >/dev/null 2>&1
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

timeout --kill-after=10 "$timeout_seconds" wine "$@" &
program=$!
if [ -n "${ZELVIX_SCREENSHOT:-}" ]; then
  # For looking at a window: wait for it to settle, then capture the display.
  sleep "${ZELVIX_SCREENSHOT_DELAY:-5}"
  import -window root "$ZELVIX_SCREENSHOT" || echo "wine-run: screenshot failed" >&2
fi
wait "$program"
exit $?
