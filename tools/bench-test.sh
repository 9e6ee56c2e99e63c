#!/usr/bin/env bash
# Times `mksfx test` against `unzip -tqq` and `7z t` on one archive of about
# 110 MiB (230 MiB of system documentation and libraries, as mksfx -6 packs
# them). Prints the median wall time of RUNS runs of each.
#   tools/bench-test.sh [MKSFX] [WORK_DIR] [RUNS]
set -euo pipefail
mksfx=$(realpath "${1:-build/host/mksfx}")
work=${2:-/tmp/zelvix-bench}
runs=${3:-7}
mkdir -p "$work"
cd "$work"
if [ ! -f bench.exe ]; then
  rm -rf src && mkdir src
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
            target = os.path.join("src", os.path.relpath(path, "/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(path, target)
            total += os.path.getsize(path)
EOF
  "$mksfx" create -q -o bench.exe -C src .
fi
ls -l bench.exe
cat bench.exe >/dev/null  # all runs start from the page cache

median() {
  local times=() start end
  for _ in $(seq "$runs"); do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc)")
  done
  printf '%s\n' "${times[@]}" | sort -n |
    awk -v what="$*" '{t[NR] = $1} END {printf "%-40s median %.3f s  (min %.3f, max %.3f, %d runs)\n", what, t[int((NR + 1) / 2)], t[1], t[NR], NR}'
}
median "$mksfx" test -q bench.exe
median unzip -tqq bench.exe
median 7z t bench.exe
