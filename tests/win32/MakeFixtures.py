#!/usr/bin/env python3
"""Builds the self-extracting files that the Wine end-to-end tests start.

Usage: MakeFixtures.py STUB.exe OUT_DIR

Every module tests/win32/fixtures/*.py whose name does not start with an
underscore is a fixture module: its make(stub_path, out_dir) writes the files
that its tests need into out_dir. A test file brings its own module, so adding
tests never means editing a shared list. Modules run in name order; the
helpers they share are in fixtures/_sfx.py. The output folder is emptied first,
so a renamed fixture cannot linger and hide a missing one.
"""
import importlib.util
import pathlib
import shutil
import sys
import traceback

HERE = pathlib.Path(__file__).resolve().parent
FIXTURE_DIR = HERE / "fixtures"


def load(path):
    spec = importlib.util.spec_from_file_location("fixtures_" + path.stem, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    stub_path = pathlib.Path(argv[1]).resolve()
    out_dir = pathlib.Path(argv[2]).resolve()
    if not stub_path.is_file():
        print(f"MakeFixtures: no stub at {stub_path}", file=sys.stderr)
        return 1
    if out_dir.exists():
        shutil.rmtree(out_dir)
    out_dir.mkdir(parents=True)
    sys.path.insert(0, str(FIXTURE_DIR))  # for "import _sfx"

    failures = 0
    for path in sorted(FIXTURE_DIR.glob("*.py")):
        if path.name.startswith("_"):
            continue
        before = set(out_dir.iterdir())
        try:
            load(path).make(str(stub_path), str(out_dir))
        except Exception:
            failures += 1
            print(f"MakeFixtures: {path.name} failed", file=sys.stderr)
            traceback.print_exc()
            continue
        made = sorted(p.name for p in set(out_dir.iterdir()) - before)
        print(f"{path.name}: {', '.join(made) if made else '(nothing new)'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
