#!/bin/sh
# Writes the convert fuzzer's seeds into fuzz/convert-corpus: small archives
# from real writers, each with what convert reads differently (data
# descriptors, extra fields, comments, Zip64 records, bytes in front).
set -eu
out=$(cd "$(dirname "$0")" && pwd)/convert-corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p src/dir/empty
printf 'hello hello hello hello\n' > src/a.txt
printf 'b' > src/dir/b.txt
mkdir -p "$out"
(cd src && TZ=UTC zip -qrX "$work/infozip.zip" . && TZ=UTC zip -qr -P pw "$work/infozip-enc.zip" a.txt dir/b.txt)
(cd src && printf 'comment\n' | zip -qz "$work/infozip.zip")
(cd src && 7z a -tzip -bd "$work/7z.zip" a.txt dir > /dev/null)
(cd src && fastjar c a.txt dir > "$work/fastjar.jar")
python3 - "$work" <<'PY'
import sys, zipfile
work = sys.argv[1]
with zipfile.ZipFile(work + "/python.zip", "w", zipfile.ZIP_DEFLATED) as z:
    info = zipfile.ZipInfo("x/extra.txt", (2020, 1, 2, 3, 4, 6))
    info.extra = b"UT\x05\x00\x01\x00\x00\x00\x00"
    info.comment = b"member comment"
    z.writestr(info, b"extra field " * 4)
    folder = zipfile.ZipInfo("DOSDIR")  # a folder marked only by the MS-DOS attribute
    folder.external_attr = 0x10
    z.writestr(folder, b"")
    z.comment = b"archive comment"
zipfile.ZIP64_LIMIT = 16
with zipfile.ZipFile(work + "/python-zip64.zip", "w") as z:
    z.writestr("a.txt", b"a" * 40)
    z.writestr("b.txt", b"b" * 40, zipfile.ZIP_DEFLATED)
with open(work + "/python-zip64.zip", "rb") as f:
    data = f.read()
with open(work + "/prefixed.zip", "wb") as f:  # a stub or other bytes in front shift every offset
    f.write(b"MZ" + bytes(62) + open(work + "/python.zip", "rb").read())
PY
for f in infozip.zip infozip-enc.zip 7z.zip fastjar.jar python.zip python-zip64.zip prefixed.zip; do
    cp "$f" "$out/$f"
done
