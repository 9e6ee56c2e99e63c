#!/usr/bin/env bash
# Times the stub extracting many members under Wine against the floor program
# (bench/FloorWriter.cpp: CreateDirectoryA for each parent, CreateFileA,
# WriteFile, CloseHandle) writing the same files, alternately in one session,
# and prints the ratios of the medians:
#   - 2,000 small members in 20 folders;
#   - 20,000 members of /usr/include and /usr/share/man, in name order and in
#     reverse name order (the reverse order must cost no more per member);
#   - 65,535 empty members, the most a ZIP without Zip64 holds, extracted to
#     the end, then once more with Exit pressed during the pass.
# Needs `make stub`. Usage: tools/time-many.sh [RUNS] (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
tools/can-run-win32.sh  # says why not, and ends the script, where Wine cannot run the stub
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
data="$work/data"
mkdir -p "$data"
python3 - build/win32/sfx.exe "$data" <<'PY'
import os, random, re, sys, zipfile

stub = open(sys.argv[1], "rb").read()
data = sys.argv[2]
assert len(stub) == 35328


def write(name, members):
    """members: (name, bytes) in archive order. Writes NAME.exe (the stub and a
    deflated archive) and NAME.pack for the floor program."""
    zip_path = os.path.join(data, name + ".zip")
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED) as z:
        for member, content in members:
            z.writestr(zipfile.ZipInfo(member, (2020, 1, 1, 0, 0, 0)), content, zipfile.ZIP_DEFLATED)
    with open(os.path.join(data, name + ".exe"), "wb") as out:
        out.write(stub)
        out.write(open(zip_path, "rb").read())
    os.unlink(zip_path)
    with open(os.path.join(data, name + ".pack"), "wb") as pack:
        for member, content in members:
            pack.write(b"%d %s\n" % (len(content), member.replace("/", "\\").encode()))
        pack.write(b"\n")
        for _, content in members:
            pack.write(content)
    print("%s: %d members, %.1f MB" % (name, len(members), sum(len(c) for _, c in members) / 1e6))


rng = random.Random(5)
small = [("dir%02d/file%04d.txt" % (i % 20, i), b"member %d " % i * rng.randint(10, 200)) for i in range(2000)]
write("small", small)

# Names Windows takes as they are: no reserved characters or device names, no
# component ending in a dot or a space, short enough for any destination.
SAFE = re.compile(r"^[A-Za-z0-9_+.,=@~ -]+$")
DEVICES = re.compile(r"^(con|prn|aux|nul|com[0-9]|lpt[0-9])(\..*)?$", re.I)


def usable(name):
    parts = name.split("/")
    return len(name) < 150 and all(SAFE.match(p) and not DEVICES.match(p) and p[-1] not in ". " for p in parts)


chosen = []
for root in ("/usr/include", "/usr/share/man"):
    for base, dirs, files in os.walk(root):
        dirs.sort()
        for f in sorted(files):
            path = os.path.join(base, f)
            name = os.path.relpath(path, "/usr")
            if len(chosen) < 20000 and not os.path.islink(path) and os.path.isfile(path) and usable(name):
                chosen.append((name, open(path, "rb").read()))
chosen.sort(key=lambda member: (member[0].lower(), member[0]))
write("many", chosen)
write("many-reverse", chosen[::-1])
write("empty", [("e%02d/%05d.txt" % (i // 1024, i), b"") for i in range(65535)])
PY
cmake --build build/win32 --target manytiming floorwriter >/dev/null
cp build/win32/floorwriter.exe "$data/"
ZELVIX_E2E_DATA="$data" ZELVIX_WINEPREFIX="$PWD/build/win32/wineprefix" ZELVIX_WINE_TIMEOUT=14400 \
  tests/win32/wine-run.sh build/win32/tests/win32/manytiming.exe floorwriter.exe "$runs" \
  small.exe small.pack 2000 many.exe many.pack 20000 many-reverse.exe many-reverse.pack 20000 \
  empty.exe empty.pack 65535 empty.exe - 65535 | tee "$work/out.txt"
awk '/^many.exe: /{n=$6} /^many-reverse.exe: /{r=$6}
     END{if (n && r) printf "reverse name order / name order: %.2f\n", r / n}' "$work/out.txt"
