#!/usr/bin/env bash
# Times the stub under Wine: listing and extracting an archive of 2,000 small
# members and one of a single 100 MiB member. Needs `make stub host`.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/small" "$work/big"
python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(5)
for i in range(2000):
    d = os.path.join(work, "small", "dir%02d" % (i % 20))
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "file%04d.txt" % i), "wb") as f:
        f.write(b"member %d " % i * rng.randint(10, 200))
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz ") for _ in range(rng.randint(2, 9))) for _ in range(5000)]
with open(os.path.join(work, "big", "big.bin"), "wb") as f:
    written = 0
    while written < 100 * 1024 * 1024:
        chunk = b" ".join(rng.choice(words) for _ in range(20000)) + os.urandom(4096)
        f.write(chunk)
        written += len(chunk)
PY
data="$work/data"
mkdir -p "$data"
build/host/mksfx create -q -o "$data/small.exe" -C "$work/small" .
build/host/mksfx create -q -o "$data/big.exe" -C "$work/big" .
cmake --build build/win32 --target stubtiming >/dev/null
ZELVIX_E2E_DATA="$data" ZELVIX_WINEPREFIX="$PWD/build/win32/wineprefix" \
  tests/win32/wine-run.sh build/win32/tests/win32/stubtiming.exe small.exe 2000 big.exe 1
