#!/usr/bin/env bash
# Times `mksfx test` against `unzip -tqq`, `7z t` and two small testers built
# on libdeflate and on zlib (build/host/bench/zip-test), over the same archives
# of about 230 MiB of system documentation and libraries: mksfx -6 and -0
# (stored), and Info-ZIP zip, 7-Zip and Python's zipfile, each re-packed by
# `mksfx convert` (which keeps their deflate streams). Runs alternate between
# the testers; prints each one's median CPU time (user and system, which other
# work on the machine disturbs far less than the wall time) per archive, and
# the ratio of mksfx's median to each tester's, per archive and as a geometric
# mean.
#   tools/bench-test.sh [MKSFX] [WORK_DIR] [RUNS]
set -euo pipefail
mksfx=$(realpath "${1:-build/host/mksfx}")
work=${2:-/tmp/zelvix-bench}
runs=${3:-7}
ziptest=$(dirname "$mksfx")/bench/zip-test
mkdir -p "$work"
cd "$work"
if [ ! -d src ]; then
  mkdir src.part
  python3 - <<'EOF'
import os, shutil
total, limit = 0, 230 << 20
for root in ("/usr/share/doc", "/usr/lib/x86_64-linux-gnu"):
    for base, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(base, name)
            if total > limit or os.path.islink(path) or not os.path.isfile(path):
                continue
            if os.path.getsize(path) > 40 << 20:
                continue
            target = os.path.join("src.part", os.path.relpath(path, "/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(path, target)
            total += os.path.getsize(path)
EOF
  mv src.part src
fi
[ -f mksfx6.exe ] || "$mksfx" create -q -6 -o mksfx6.exe -C src .
[ -f stored.exe ] || "$mksfx" create -q -0 -o stored.exe -C src .
if [ ! -f infozip.exe ]; then
  (cd src && zip -q -r -6 ../infozip.zip .)
  "$mksfx" convert -q infozip.zip -o infozip.exe && rm infozip.zip
fi
if [ ! -f 7zip.exe ]; then
  (cd src && 7z a -bd -tzip -mx=5 ../7zip.zip . >/dev/null)
  "$mksfx" convert -q 7zip.zip -o 7zip.exe && rm 7zip.zip
fi
if [ ! -f python.exe ]; then
  python3 - <<'EOF'
import os, zipfile
with zipfile.ZipFile("python.zip", "w", zipfile.ZIP_DEFLATED) as archive:
    for base, dirs, files in os.walk("src"):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(base, name)
            archive.write(path, os.path.relpath(path, "src"))
EOF
  "$mksfx" convert -q python.zip -o python.exe && rm python.zip
fi
archives=(mksfx6.exe stored.exe infozip.exe 7zip.exe python.exe)
names=("mksfx test" "unzip -t" "7z t" "libdeflate" "zlib")
command_of() {
  case $1 in
    0) command=("$mksfx" test -q) ;;
    1) command=(unzip -tqq) ;;
    2) command=(7z t) ;;
    3) command=("$ziptest") ;;
    4) command=("$ziptest" --zlib) ;;
  esac
}
timefile=$(mktemp)
trap 'rm -f "$timefile"' EXIT

ls -l "${archives[@]}"
declare -A times
for archive in "${archives[@]}"; do
  cat "$archive" >/dev/null  # all runs start from the page cache
  for _ in $(seq "$runs"); do
    for tester in 0 1 2 3 4; do
      command_of $tester
      /usr/bin/time -o "$timefile" -f '%U %S' "${command[@]}" "$archive" >/dev/null 2>&1 ||
        { echo "failed: ${names[$tester]} $archive" >&2; exit 1; }
      times[$archive,$tester]+="$(awk '{print $1 + $2}' "$timefile") "
    done
  done
done

median() { printf '%s\n' $1 | sort -n | awk '{t[NR] = $1} END {print t[int((NR + 1) / 2)]}'; }
printf '%-12s' archive
for name in "${names[@]}"; do printf '%12s' "$name"; done
for name in "${names[@]:1}"; do printf '%16s' "mksfx/$name"; done
echo
declare -A logs
for archive in "${archives[@]}"; do
  printf '%-12s' "$archive"
  ours=$(median "${times[$archive,0]}")
  for tester in 0 1 2 3 4; do printf '%11.3fs' "$(median "${times[$archive,$tester]}")"; done
  for tester in 1 2 3 4; do
    ratio=$(echo "$ours / $(median "${times[$archive,$tester]}")" | bc -l)
    logs[$tester]+="$(echo "l($ratio)" | bc -l) "
    printf '%16.2f' "$ratio"
  done
  echo
done
printf '%-12s%60s' "geo. mean" ""
for tester in 1 2 3 4; do
  printf '%16.2f' "$(printf '%s\n' ${logs[$tester]} | awk '{s += $1} END {print exp(s / NR)}')"
done
echo
