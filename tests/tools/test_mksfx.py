#!/usr/bin/env python3
"""mksfx against real peers: what it writes must pass Info-ZIP unzip, 7z and
Python's zipfile and extract to the same bytes; what they write must convert
and then pass mksfx's own test, which decodes with the stub's decoders.

Run by ctest, one test class per ctest entry:
    MKSFX=build/host/mksfx python3 tests/tools/test_mksfx.py CreateRoundTrip
"""
import io
import os
import random
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import warnings
import zipfile
import zlib

# The archive fixtures the stub's tests use; mksfx must refuse the same bombs.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "win32", "fixtures"))
from extraction import overlapping_stored_members  # noqa: E402

MKSFX = os.environ.get("MKSFX", "build/host/mksfx")
STUB_SIZE = 35328

_embedded = None


def has_embedded_stub():
    global _embedded
    if _embedded is None:
        out = subprocess.run([MKSFX, "--version"], capture_output=True, text=True).stdout
        _embedded = "built in" in out
    return _embedded


def run(args, cwd=None, env=None, input_bytes=None):
    """Runs a command with no terminal on stdin; returns (code, stdout, stderr)."""
    done = subprocess.run(args, cwd=cwd, env=env, capture_output=True, timeout=120,
                          input=input_bytes, stdin=None if input_bytes is not None else subprocess.DEVNULL)
    return done.returncode, done.stdout.decode(errors="replace"), done.stderr.decode(errors="replace")


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def tree_bytes(root):
    """{relative path: bytes} of every file under root, "/" separated."""
    found = {}
    for base, _dirs, files in os.walk(root):
        for name in files:
            path = os.path.join(base, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return found


def local_headers(data, start):
    """Walks local headers from `start` like the stub (independently of it):
    [(offset, flags, method, crc, csize, usize, name)], and the signature that ended the walk."""
    members = []
    at = start
    while data[at:at + 4] == b"PK\x03\x04":
        (_v, flags, method, _t, _d, crc, csize, usize, n, m) = struct.unpack_from("<HHHHHIIIHH", data, at + 4)
        members.append((at, flags, method, crc, csize, usize, data[at + 30:at + 30 + n].decode("utf-8")))
        at += 30 + n + m + csize
        if flags & 8 and data[at:at + 4] == b"PK\x07\x08":
            at += 16
    return members, data[at:at + 4]


def raw_zip(members, prefix=b""):
    """A ZIP archive of (name bytes, flags, method, data) written field by field,
    so that flags and methods no writer sets can be tried; data is stored as given."""
    local, central, offset = [], [], len(prefix)
    for name, flags, method, data in members:
        fields = struct.pack("<HHHHHIIIHH", 20, flags, method, 0, 0x21, zlib.crc32(data), len(data), len(data),
                             len(name), 0)
        central.append(b"PK\x01\x02" + struct.pack("<H", 20) + fields + struct.pack("<HHHII", 0, 0, 0, 0, offset) +
                       name)
        local.append(b"PK\x03\x04" + fields + name + data)
        offset += len(local[-1])
    central = b"".join(central)
    return prefix + b"".join(local) + central + b"PK\x05\x06" + struct.pack(
        "<HHHHIIH", 0, 0, len(members), len(members), len(central), offset, 0)


def shown(name):
    """A name as mksfx prints it: bytes that are not UTF-8 as \\xNN."""
    return name.decode("utf-8", errors="backslashreplace")


class MksfxCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="mksfx-test-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.stub_args = []
        if not has_embedded_stub():
            stub = self.path("stub.exe")
            with open(stub, "wb") as f:
                f.write(b"MZ" + bytes(STUB_SIZE - 2))
            self.stub_args = ["--stub", stub]

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write(self, relative, data):
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())
        return path

    def mksfx(self, *args, expect=0, **kwargs):
        args = list(args)
        if args and args[0] in ("create", "convert"):
            args[1:1] = self.stub_args
        code, out, err = run([MKSFX] + args, **kwargs)
        if expect is not None:
            self.assertEqual(code, expect, "mksfx %s\nstdout: %s\nstderr: %s" % (" ".join(args), out, err))
        return code, out, err

    def make_tree(self, root="src"):
        """A tree with the sizes where decoders slip: 0, 1, 32767/32768/32769 bytes,
        incompressible data, a nested directory and an empty one."""
        rng = random.Random(7)
        files = {
            "empty.txt": b"",
            "one.txt": b"x",
            "text/lorem.txt": b"lorem ipsum dolor sit amet, " * 3000,
            "text/deeper/w32767.bin": bytes(rng.getrandbits(3) for _ in range(32767)),
            "text/deeper/w32768.bin": bytes(rng.getrandbits(3) for _ in range(32768)),
            "w32769.bin": bytes(rng.getrandbits(3) for _ in range(32769)),
            "random.bin": rng.randbytes(70000),
        }
        for name, data in files.items():
            self.write(os.path.join(root, name), data)
        os.makedirs(self.path(root, "emptydir"), exist_ok=True)
        return files

    def assert_peers_accept(self, archive, expected, password=None):
        """unzip -t, 7z t and zipfile accept the archive, and each extracts `expected` exactly."""
        pw = ["-P", password] if password else []
        code, out, err = run(["unzip", "-tq"] + pw + [archive])
        self.assertEqual(code, 0, out + err)
        code, out, err = run(["7z", "t", "-p" + (password or "")] + [archive])
        self.assertEqual(code, 0, out + err)
        self.assertIn("Everything is Ok", out)
        with zipfile.ZipFile(archive) as z:
            if password:
                z.setpassword(password.encode())
            self.assertIsNone(z.testzip())
            got = {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
        self.assertEqual(got, expected)
        for tool, args in (("unzip", ["unzip", "-qo"] + pw + [archive, "-d"]),
                           ("7z", ["7z", "x", "-y", "-p" + (password or ""), archive, "-o"])):
            target = self.path("peer-" + tool)
            shutil.rmtree(target, True)
            if tool == "7z":
                args = args[:-1] + ["-o" + target]
            else:
                args = args + [target]
            code, out, err = run(args)
            self.assertEqual(code, 0, out + err)
            self.assertEqual(tree_bytes(target), expected, tool)

    def assert_mksfx_extracts(self, archive, expected, *extra):
        target = self.path("mksfx-out")
        shutil.rmtree(target, True)
        self.mksfx("test", archive, *extra)
        self.mksfx("extract", archive, "-d", target, *extra)
        self.assertEqual(tree_bytes(target), expected)


class CreateRoundTrip(MksfxCase):
    def test_every_level_passes_the_peers_and_extracts_the_same_bytes(self):
        files = self.make_tree()
        for level in ("-0", "-1", "-6", "-9"):
            with self.subTest(level=level):
                out = self.path("out%s.exe" % level)
                self.mksfx("create", level, "-o", out, "-C", self.path("src"), ".")
                self.assert_peers_accept(out, files)
                self.assert_mksfx_extracts(out, files)

    def test_layout_is_what_the_stub_walks(self):
        files = self.make_tree()
        out = self.path("out.exe")
        self.mksfx("create", "-o", out, "-C", self.path("src"), ".")
        data = read_bytes(out)
        self.assertEqual(data[:2], b"MZ")
        members, end = local_headers(data, STUB_SIZE)
        self.assertEqual(end, b"PK\x01\x02", "the walk from the stub size must end at the central directory")
        names = [m[6] for m in members]
        # Fixed order: byte order within each directory, a directory before its contents.
        self.assertEqual(names, ["empty.txt", "emptydir/", "one.txt", "random.bin", "text/", "text/deeper/",
                                 "text/deeper/w32767.bin", "text/deeper/w32768.bin", "text/lorem.txt",
                                 "w32769.bin"])
        with zipfile.ZipFile(out) as z:
            infos = {i.filename: i for i in z.infolist()}
        for (offset, flags, method, crc, csize, usize, name) in members:
            info = infos[name]
            self.assertEqual(flags & 8, 0, name + ": no data descriptor")
            self.assertIn(method, (0, 8))
            # The central directory's offsets count from the start of the whole file.
            self.assertEqual(info.header_offset, offset)
            self.assertEqual((crc, csize, usize), (info.CRC, info.compress_size, info.file_size))
            if not name.endswith("/"):
                self.assertEqual(crc, zlib.crc32(files[name]))
        # Incompressible data is stored, not deflated into something larger.
        self.assertEqual(infos["random.bin"].compress_type, zipfile.ZIP_STORED)
        self.assertEqual(infos["text/lorem.txt"].compress_type, zipfile.ZIP_DEFLATED)
        end_record = data.rindex(b"PK\x05\x06")
        cd_size, cd_offset = struct.unpack_from("<II", data, end_record + 12)
        self.assertEqual(cd_offset + cd_size, end_record)

    def test_output_is_reproducible(self):
        self.make_tree()
        env = dict(os.environ, SOURCE_DATE_EPOCH="1700000000", TZ="UTC")
        first, second = self.path("a.exe"), self.path("b.exe")
        self.mksfx("create", "-o", first, "-C", self.path("src"), ".", env=env)
        os.utime(self.path("src", "one.txt"), (1, 2000000000))  # later than the epoch: capped
        self.mksfx("create", "-o", second, "-C", self.path("src"), ".", env=env)
        self.assertEqual(read_bytes(first), read_bytes(second))
        third = self.path("c.exe")
        self.mksfx("create", "-o", third, "--mtime", "2001-02-03 04:05:06", "-C", self.path("src"), ".")
        with zipfile.ZipFile(third) as z:
            self.assertEqual({i.date_time for i in z.infolist()}, {(2001, 2, 3, 4, 5, 6)})
        self.mksfx("create", "--mtime", "2001-02-03T04:05", "-o", third, "-C", self.path("src"), ".")
        with zipfile.ZipFile(third) as z:
            self.assertEqual({i.date_time for i in z.infolist()}, {(2001, 2, 3, 4, 5, 0)})
        for wrong in ("2001-02-03 04:05:06 and more", "2001-13-01", "@12x"):
            self.mksfx("create", "--mtime", wrong, "-o", third, "-C", self.path("src"), ".", expect=2)

    def test_names_follow_the_paths_as_given(self):
        self.write("src/a/b.txt", "b")
        self.write("src/c.txt", "c")
        out = self.path("out.exe")
        self.mksfx("create", "-o", out, "-C", self.path("src"), "a", "./c.txt")
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.namelist(), ["a/", "a/b.txt", "c.txt"])
        code, out_text, _ = self.mksfx("list", out, "-q")
        self.assertEqual(out_text.split(), ["a/", "a/b.txt", "c.txt"])

    def test_the_output_never_packs_itself(self):
        self.write("src/a.txt", "a")
        out = self.path("src", "self.exe")
        for _ in range(2):  # the second run finds the first one's output among its inputs
            _c, _o, err = self.mksfx("create", "-o", out, "-C", self.path("src"), ".")
        self.assertIn("self.exe", err)
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.namelist(), ["a.txt"])

    def test_plain_zip_and_verbose_list(self):
        self.write("src/x.txt", "hello " * 100)
        plain = self.path("plain.zip")
        subprocess.run(["zip", "-qrX", plain, "x.txt"], cwd=self.path("src"), check=True)
        _code, out, _err = self.mksfx("list", "-v", plain)
        self.assertIn("Defl", out)
        self.assertIn("x.txt", out)
        self.mksfx("test", plain)


class Encryption(MksfxCase):
    def test_encrypted_archive_opens_in_peers_with_the_password(self):
        files = self.make_tree()
        out = self.path("enc.exe")
        self.mksfx("create", "-P", "s3cret", "-o", out, "-C", self.path("src"), ".")
        # zipfile checks the check byte against the CRC-32's high byte (flag bit 3 clear).
        self.assert_peers_accept(out, files, password="s3cret")
        self.assert_mksfx_extracts(out, files, "-P", "s3cret")
        members, _ = local_headers(read_bytes(out), STUB_SIZE)
        for (_o, flags, _m, _c, csize, usize, name) in members:
            if not name.endswith("/"):
                self.assertEqual(flags & 9, 1, name)

    def test_wrong_or_missing_password_fails_everywhere(self):
        self.write("src/a.txt", "secret text " * 50)
        out = self.path("enc.exe")
        self.mksfx("create", "-P", "right", "-o", out, "-C", self.path("src"), ".")
        code, _out, _err = run(["unzip", "-tq", "-P", "wrong", out])
        self.assertNotEqual(code, 0)
        _code, _out, err = self.mksfx("test", "-P", "wrong", out, expect=1)
        self.assertIn("a.txt", err)
        self.assertIn("password", err)
        _code, _out, err = self.mksfx("test", out, expect=1)
        self.assertIn("encrypted", err)
        self.mksfx("extract", "-P", "wrong", out, "-d", self.path("x"), expect=1)
        self.assertFalse(os.path.exists(self.path("x", "a.txt")))

    def test_encryption_headers_come_from_a_random_source(self):
        self.write("src/a.txt", "same text")
        first, second = self.path("1.exe"), self.path("2.exe")
        for out in (first, second):
            self.mksfx("create", "--mtime", "@1000000000", "-P", "pw", "-o", out, "-C", self.path("src"), ".")
        def header(path):
            data = read_bytes(path)
            (offset, _f, _m, _c, _cs, _us, name) = local_headers(data, STUB_SIZE)[0][0]
            start = offset + 30 + len(name)
            return data[start:start + 12]
        self.assertNotEqual(header(first), header(second))

    def test_password_sources_and_limits(self):
        self.write("src/a.txt", "text")
        pwfile = self.write("pw.txt", "from-file\n")
        out = self.path("out.exe")
        self.mksfx("create", "--password-file", pwfile, "-o", out, "-C", self.path("src"), ".")
        code, _o, _e = run(["unzip", "-tq", "-P", "from-file", out])
        self.assertEqual(code, 0)
        # The stub's prompt takes at most 24 characters and treats empty as no password.
        _c, _o, err = self.mksfx("create", "-P", "x" * 25, "-o", self.path("long.exe"), self.path("src"),
                                 expect=2)
        self.assertIn("24", err)
        self.mksfx("create", "-P", "", "-o", self.path("empty.exe"), self.path("src"), expect=2)
        # No terminal: the prompt is refused instead of hanging.
        self.mksfx("create", "-e", "-o", self.path("prompt.exe"), self.path("src"), expect=2)
        self.assertEqual(sorted(os.listdir(self.dir)), ["out.exe", "pw.txt", "src"] +
                         (["stub.exe"] if self.stub_args else []))


class Convert(MksfxCase):
    def converted_passes(self, source, files, password=None, test_args=()):
        out = source + ".exe"
        self.mksfx("convert", source, "-o", out)
        data = read_bytes(out)
        members, end = local_headers(data, STUB_SIZE)
        self.assertEqual(end, b"PK\x01\x02")
        for (_o, flags, _m, crc, csize, usize, name) in members:
            if not (flags & 1):
                self.assertEqual(flags & 8, 0, name)
        self.assert_peers_accept(out, files, password=password)
        self.assert_mksfx_extracts(out, files, *test_args)
        return out

    def test_info_zip_archives(self):
        files = self.make_tree()
        plain = self.path("plain.zip")
        subprocess.run(["zip", "-qr", plain, "."], cwd=self.path("src"), check=True)
        self.converted_passes(plain, files)
        # Streamed into a pipe, zip writes data descriptors and blank local sizes.
        streamed = self.path("streamed.zip")
        with open(streamed, "wb") as f:
            zip_proc = subprocess.Popen(["zip", "-q", "-", "text/lorem.txt", "one.txt"], cwd=self.path("src"),
                                        stdout=subprocess.PIPE)
            subprocess.run(["cat"], stdin=zip_proc.stdout, stdout=f, check=True)
            zip_proc.stdout.close()
            self.assertEqual(zip_proc.wait(), 0)
        # Unconverted, the walk stops at the first member: its local header has no sizes.
        _c, _o, err = self.mksfx("test", streamed, expect=1)
        self.assertIn("data descriptor", err)
        self.converted_passes(streamed, {k: files[k] for k in ("text/lorem.txt", "one.txt")})

    def test_info_zip_encrypted_members_keep_their_check_byte(self):
        files = self.make_tree()
        encrypted = self.path("enc.zip")
        subprocess.run(["zip", "-qr", "-P", "pw", encrypted, "."], cwd=self.path("src"), check=True)
        with zipfile.ZipFile(encrypted) as z:
            self.assertTrue(any(i.flag_bits & 8 for i in z.infolist()), "zip -P sets flag bit 3")
        self.converted_passes(encrypted, files, password="pw", test_args=("-P", "pw"))

    def test_7z_archives(self):
        files = self.make_tree()
        for method in ("Deflate", "Copy"):
            with self.subTest(method=method):
                archive = self.path("7z-%s.zip" % method)
                subprocess.run(["7z", "a", "-tzip", "-mm=" + method, archive, "."], cwd=self.path("src"),
                               check=True, capture_output=True)
                self.converted_passes(archive, files)
        encrypted = self.path("7z-zipcrypto.zip")
        subprocess.run(["7z", "a", "-tzip", "-ppw", "-mem=ZipCrypto", encrypted, "."], cwd=self.path("src"),
                       check=True, capture_output=True)
        self.converted_passes(encrypted, files, password="pw", test_args=("-P", "pw"))

    def test_jar_archives_with_data_descriptors(self):
        files = self.make_tree()
        jar = self.path("a.jar")
        with open(jar, "wb") as f:  # written to stdout, fastjar puts the sizes in descriptors
            subprocess.run(["fastjar", "c"] + sorted(os.listdir(self.path("src"))), cwd=self.path("src"),
                           stdout=f, check=True)
        members, _ = local_headers(read_bytes(jar), 0)
        self.assertTrue(any(m[1] & 8 for m in members), "fastjar writes descriptors")
        with zipfile.ZipFile(jar) as z:
            manifest = z.read("META-INF/MANIFEST.MF")
        self.converted_passes(jar, dict(files, **{"META-INF/MANIFEST.MF": manifest}))

    def test_python_archives(self):
        files = self.make_tree()
        archive = self.path("py.zip")
        with zipfile.ZipFile(archive, "w") as z:
            for name, data in files.items():
                z.writestr(name, data, zipfile.ZIP_DEFLATED if len(data) % 2 else zipfile.ZIP_STORED)
        self.converted_passes(archive, files)
        # Written to an unseekable stream, zipfile adds data descriptors.
        streamed = self.path("py-streamed.zip")
        with open(streamed, "wb") as f:
            proc = subprocess.Popen([sys.executable, "-c", (
                "import sys, zipfile\n"
                "with zipfile.ZipFile(sys.stdout.buffer, 'w', zipfile.ZIP_DEFLATED) as z:\n"
                "    z.writestr('a.txt', b'abc' * 999)\n"
                "    with z.open('b.txt', 'w') as m: m.write(b'streamed' * 1000)\n")], stdout=f)
            self.assertEqual(proc.wait(), 0)
        self.converted_passes(streamed, {"a.txt": b"abc" * 999, "b.txt": b"streamed" * 1000})

    def test_a_self_extracting_source_and_the_archive_comment(self):
        files = self.make_tree()
        sfx = self.path("first.exe")
        self.mksfx("create", "-o", sfx, "-C", self.path("src"), ".")
        commented = self.path("commented.zip")
        shutil.copy(sfx, commented)
        subprocess.run(["zip", "-qz", commented], input=b"a comment kept\n", check=True)
        # Offsets of a source with data in front of its archive are shifted back into place.
        out = self.converted_passes(commented, files)
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.comment, b"a comment kept")

    def test_folders_marked_only_by_the_directory_attribute_get_their_slash(self):
        archive = self.path("dos.zip")
        with zipfile.ZipFile(archive, "w") as z:
            folder = zipfile.ZipInfo("def")
            folder.external_attr = 0x10  # MS-DOS directory attribute, no trailing "/"
            z.writestr(folder, b"")
            z.writestr("def/foo.txt", b"inside")
        out = self.path("dos.exe")
        self.mksfx("convert", archive, "-o", out)
        members, end = local_headers(read_bytes(out), STUB_SIZE)
        self.assertEqual([m[6] for m in members], ["def/", "def/foo.txt"])
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.namelist(), ["def/", "def/foo.txt"])
        self.assert_mksfx_extracts(out, {"def/foo.txt": b"inside"})

    def test_unsupported_members_are_named_and_refused_or_skipped(self):
        archive = self.path("mixed.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("good.txt", b"good " * 100, zipfile.ZIP_DEFLATED)
            z.writestr("packed.bz2member", b"bzip " * 100, zipfile.ZIP_BZIP2)
            z.writestr("lzma.txt", b"lzma " * 100, zipfile.ZIP_LZMA)
            z.writestr("../evil.txt", b"escape")
            z.writestr("docs/CON.txt", b"device")
            z.writestr("n" * 259, b"long name")
            z.writestr("n" * 129 + "/" + "m" * 128, b"longest name that fits")
        out = self.path("mixed.exe")
        _c, _o, err = self.mksfx("convert", archive, "-o", out, expect=1)
        for name in ("packed.bz2member", "lzma.txt", "../evil.txt", "docs/CON.txt", "n" * 259):
            self.assertIn("member " + name + ":", err)
        self.assertNotIn("member good.txt", err)
        self.assertNotIn("member " + "n" * 129 + "/", err)
        self.assertFalse(os.path.exists(out), "no output after a refusal")
        self.assertEqual(len(os.listdir(self.dir)), 1 + len(self.stub_args) // 2, "no temporary file left")
        _c, _o, err = self.mksfx("convert", "--skip-unsupported", archive, "-o", out)
        self.assertIn("left out", err)
        self.assert_peers_accept(out, {"good.txt": b"good " * 100, "n" * 129 + "/" + "m" * 128: b"longest name that fits"})
        self.mksfx("test", out)

    def test_names_windows_folds_together(self):
        warnings.simplefilter("ignore")  # zipfile warns of the duplicate it is told to write
        # A trailing dot or space is refused (Windows drops it); names equal
        # without regard to case, and a file beside a folder of its name, warn.
        archive = self.path("fold.zip")
        with zipfile.ZipFile(archive, "w") as z:
            for name in ("notes.txt", "notes.txt.", "dir /x.txt", "README", "readme", "docs", "Docs/a.txt", "dup.txt",
                         "dup.txt"):
                z.writestr(name, name.encode())
        out = self.path("fold.exe")
        _c, _o, err = self.mksfx("convert", archive, "-o", out, expect=1)
        self.assertIn("member notes.txt.: 'notes.txt.' ends in a dot or a space", err)
        self.assertIn("member dir /x.txt: 'dir ' ends in a dot or a space", err)
        self.assertFalse(os.path.exists(out))
        _c, _o, err = self.mksfx("convert", "--skip-unsupported", archive, "-o", out)
        self.assertIn("members README and readme differ only in case", err)
        self.assertIn("member docs is a file and Docs/ a folder", err)
        self.assertIn("member dup.txt is stored twice", err)
        with zipfile.ZipFile(out) as z:
            self.assertEqual(z.namelist(),
                             ["notes.txt", "README", "readme", "docs", "Docs/a.txt", "dup.txt", "dup.txt"])
        for name in ("a/README", "a/readme", "b./c.txt"):
            self.write(os.path.join("src", name), name)
        _c, _o, err = self.mksfx("create", "-o", out, "-C", self.path("src"), "a", "b.", expect=1)
        self.assertIn("'b.' ends in a dot or a space", err)
        _c, _o, err = self.mksfx("create", "-o", out, "-C", self.path("src"), "a")
        self.assertIn("members a/README and a/readme differ only in case", err)

    def test_damaged_members_are_refused_and_encrypted_ones_checked_with_the_password(self):
        archive = self.path("damaged.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("good.txt", b"good " * 200, zipfile.ZIP_DEFLATED)
            z.writestr("stored.txt", b"stored " * 200)
            z.writestr("deflated.txt", bytes(range(256)) * 40, zipfile.ZIP_DEFLATED)
        data = bytearray(read_bytes(archive))
        for (offset, _f, _m, _c, csize, _u, name) in local_headers(bytes(data), 0)[0]:
            if name != "good.txt":
                data[offset + 30 + len(name) + csize // 2] ^= 0x40
        write_bytes(archive, data)
        out = self.path("damaged.exe")
        _c, _o, err = self.mksfx("convert", "--skip-unsupported", archive, "-o", out, expect=1)
        self.assertIn("member stored.txt: CRC-32 mismatch", err)
        self.assertIn("member deflated.txt: ", err)
        self.assertNotIn("good.txt", err)
        self.assertFalse(os.path.exists(out))

        self.write("src/a.txt", "secret " * 100)
        encrypted = self.path("enc.zip")
        subprocess.run(["zip", "-q", "-P", "pw", encrypted, "a.txt"], cwd=self.path("src"), check=True)
        _c, _o, err = self.mksfx("convert", encrypted, "-o", out)
        self.assertIn("1 encrypted member a.txt copied without checking the data", err)
        self.mksfx("test", "-P", "pw", out)
        _c, _o, err = self.mksfx("convert", "-P", "wrong", encrypted, "-o", out, expect=1)
        self.assertIn("member a.txt: ", err)  # "wrong password", or a CRC-32 mismatch when it passes the check byte
        _c, _o, err = self.mksfx("convert", "-P", "pw", encrypted, "-o", out)
        self.assertNotIn("without checking", err)

    def test_65535_members_are_no_zip64_archive(self):
        # The most create writes: the end record's count is 0xFFFF, with no Zip64 locator.
        source = self.write("many.zip", raw_zip([(b"%05d" % i, 0, 0, b"") for i in range(65535)]))
        self.mksfx("convert", source, "-o", self.path("many.exe"))

    def test_aes_and_zip64_are_refused(self):
        self.write("src/a.txt", "aes " * 100)
        aes = self.path("aes.zip")
        subprocess.run(["7z", "a", "-tzip", "-ppw", "-mem=AES256", aes, "a.txt"], cwd=self.path("src"),
                       check=True, capture_output=True)
        _c, _o, err = self.mksfx("convert", aes, "-o", self.path("aes.exe"), expect=1)
        self.assertIn("member a.txt", err)
        self.assertIn("AES", err)
        # A central directory that really needs Zip64 records (the limit lowered to force them).
        zip64 = self.path("zip64.zip")
        subprocess.run([sys.executable, "-c", (
            "import zipfile\nzipfile.ZIP64_LIMIT = 100\n"
            "with zipfile.ZipFile(%r, 'w') as z:\n"
            "    z.writestr('a.txt', b'a' * 300)\n    z.writestr('b.txt', b'b' * 300)\n") % zip64], check=True)
        _c, _o, err = self.mksfx("convert", zip64, "-o", self.path("zip64.exe"), expect=1)
        self.assertIn("Zip64", err)
        self.assertFalse(os.path.exists(self.path("zip64.exe")))


class WalkChecks(MksfxCase):
    def make_sfx(self):
        self.write("src/a.txt", "first member " * 500)
        self.write("src/b.txt", "second member " * 500)
        out = self.path("ok.exe")
        self.mksfx("create", "-o", out, "-C", self.path("src"), ".")
        return out, bytearray(read_bytes(out))

    def test_a_damaged_member_fails_with_its_name(self):
        out, data = self.make_sfx()
        members, _ = local_headers(bytes(data), STUB_SIZE)
        (offset, _f, _m, _c, csize, _u, name) = members[1]
        data[offset + 30 + len(name) + csize // 2] ^= 0x55  # inside b.txt's deflated data
        damaged = self.path("damaged.exe")
        write_bytes(damaged, data)
        _c, _o, err = self.mksfx("test", damaged, expect=1)
        self.assertIn("member b.txt", err)
        self.assertNotIn("member a.txt", err)
        self.mksfx("extract", damaged, "-d", self.path("x"), expect=1)
        self.assertEqual(os.listdir(self.path("x")), ["a.txt"], "a failed member leaves no file")
        data[offset + 30 + len(name) + csize // 2] ^= 0x55
        data[offset + 14] ^= 0x01  # the stored CRC-32
        write_bytes(damaged, data)
        _c, _o, err = self.mksfx("test", damaged, expect=1)
        self.assertIn("CRC-32", err)

    def test_strong_encryption_is_refused_as_the_stub_refuses_it(self):
        out, data = self.make_sfx()
        members, _ = local_headers(bytes(data), STUB_SIZE)
        data[members[1][0] + 6] |= 0x40  # b.txt's flags: bit 6, whatever its method
        marked = self.path("strong.exe")
        write_bytes(marked, data)
        for command in (["list"], ["test"], ["extract", "-d", self.path("x")]):
            _c, _o, err = self.mksfx(command[0], marked, *command[1:], expect=1)
            self.assertRegex(err, "member b.txt: .*its flags mark strong encryption")
            self.assertNotIn("member a.txt", err)
        self.assertEqual(os.listdir(self.path("x")), ["a.txt"])

    def test_every_command_refuses_exactly_what_the_stub_refuses(self):
        # Each row: a member's name, flags and method, and whether the stub extracts it.
        rows = [
            (b"plain.txt", 0, 0, True),
            (b"strong.txt", 0x40, 0, False),  # bit 6 without bit 0: the stub still refuses it
            (b"packed.txt", 0, 12, False),
            ("caf\u00e9.txt".encode(), 0x800, 0, True),
            (b"caf\xe9.txt", 0x800, 0, False),  # marked UTF-8, but Latin-1
            (b"latin\xe9.txt", 0, 0, True),  # unmarked: the stub reads the code page
            (b"dir/", 0, 12, True),  # directory entries are passed over whatever they say
            (b"dir2/", 0x40, 0, True),
        ]
        archive = self.write("rule.zip", raw_zip([(n, f, m, b"" if n.endswith(b"/") else b"data")
                                                  for n, f, m, _ in rows]))
        sfx = self.write("rule.exe", b"MZ" + bytes(STUB_SIZE - 2) + read_bytes(archive))
        outputs = {}
        for command in (["list"], ["test"], ["extract", "-d", self.path("x")]):
            outputs[command[0]] = self.mksfx(command[0], sfx, *command[1:], expect=1)[2]
        outputs["convert"] = self.mksfx("convert", "--skip-unsupported", archive, "-o", self.path("c.exe"))[2]
        for name, _flags, _method, extracts in rows:
            for command, err in outputs.items():
                with self.subTest(name=name, command=command):
                    self.assertEqual("member %s:" % shown(name) in err, not extracts, err)
        self.mksfx("test", self.path("c.exe"))

    def test_an_archive_of_directory_entries_only_fails_the_test(self):
        sfx = self.write("dirs.exe", b"MZ" + bytes(STUB_SIZE - 2) + raw_zip([(b"a/", 0, 0, b""), (b"b/", 0, 0, b"")]))
        _c, _o, err = self.mksfx("test", sfx, expect=1)
        self.assertIn("Can't read archive header", err)

    def test_a_walk_that_misses_the_central_directory_is_damage(self):
        out, data = self.make_sfx()
        members, _ = local_headers(bytes(data), STUB_SIZE)
        truncated = self.path("cut.exe")
        for header in (members[0][0], members[1][0]):
            write_bytes(truncated, data[:header + 12])
            for command in ("list", "test"):
                _c, out_text, err = self.mksfx(command, truncated, expect=1)
                self.assertIn("damaged archive: the local header at offset %d is cut short" % header, err)
                self.assertNotIn("1980-00-00", out_text)
        wrong_size = bytearray(data)
        struct.pack_into("<I", wrong_size, members[0][0] + 18, members[0][4] + 3)
        write_bytes(truncated, wrong_size)
        _c, _o, err = self.mksfx("list", truncated, expect=1)
        self.assertIn("after member a.txt", err)
        # What a command found out about a member comes before the error that ends the walk.
        class Unseekable(io.RawIOBase):  # zipfile streams to it: sizes in a data descriptor
            data = bytearray()
            def writable(self): return True
            def write(self, b): self.data += b; return len(b)
            def tell(self): raise OSError
        sink = Unseekable()
        with zipfile.ZipFile(sink, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("streamed.txt", b"x" * 100)
        streamed = self.write("streamed.zip", bytes(sink.data))
        for command in ("list", "test"):
            _c, _o, err = self.mksfx(command, streamed, expect=1)
            self.assertRegex(err, "(?s)member streamed.txt: .*data descriptor.*mksfx convert.*damaged archive")

    def test_a_central_directory_other_tools_refuse_is_warned_about(self):
        out, data = self.make_sfx()
        second = local_headers(bytes(data), STUB_SIZE)[0][1][0]
        renamed = bytearray(data)
        renamed[data.rindex(b"PK\x01\x02") + 46] = ord("c")  # b.txt, in the central directory only
        for damaged, why in ((data[:-22], "no end of central directory record"),
                             (renamed, "entry 2 (c.txt) is not the local header at offset %d (b.txt)" % second)):
            with self.subTest(why=why):
                write_bytes(out, damaged)
                _c, out_text, err = self.mksfx("test", out)
                self.assertIn("2 members OK", out_text)
                self.assertRegex(err, "warning: .*%s.*may refuse the file" % re.escape(why))

    def test_overlapping_stored_members_fail_in_test_and_extract(self):
        bomb = self.write("bomb.zip", overlapping_stored_members(20, b"x" * 5000))
        _c, _o, err = self.mksfx("test", bomb, expect=1)
        self.assertIn("20 of 20 members failed", err)
        self.assertIn("member m00.txt: it is stored, but its compressed size 0", err)
        _c, _o, err = self.mksfx("extract", bomb, "-d", self.path("x"), expect=1)
        self.assertIn("20 of 20 members failed", err)
        self.assertEqual(tree_bytes(self.path("x")), {})

    def test_not_an_archive(self):
        self.write("junk.bin", os.urandom(50000))
        for command in ("list", "test", "extract"):
            _c, _o, err = self.mksfx(command, self.path("junk.bin"), expect=1)
            self.assertIn("junk.bin", err)
        self.write("stub-only.exe", b"MZ" + bytes(STUB_SIZE - 2))
        _c, _o, err = self.mksfx("test", self.path("stub-only.exe"), expect=1)
        self.assertIn("no archive", err)

    def test_unsafe_names_are_refused_and_never_written(self):
        archive = self.path("evil.zip")
        refused = {"../escape.txt": "leads outside the destination folder", "c:/drive.txt": "holds ':'",
                   "what?.txt": "holds '?', a character Windows file names cannot hold",
                   "tab\t.txt": "holds a control character", "bad/CON.txt": "names a Windows device",
                   "COM\u00b9.txt": "names a Windows device"}
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("fine.txt", b"fine")
            z.writestr("\\lead.txt", b"one leading separator is dropped, as in the stub")
            for name in refused:
                z.writestr(name, b"refused")
        _c, _o, err = self.mksfx("test", archive, expect=1)
        for name, why in refused.items():
            self.assertIn("member %s: its name %s" % (name.replace("\t", "\\x09"), why), err)
        target = self.path("deep", "dest")
        self.mksfx("extract", archive, "-d", target, expect=1)
        self.assertEqual(tree_bytes(self.path("deep")), {"dest/fine.txt": b"fine",
                         "dest/lead.txt": b"one leading separator is dropped, as in the stub"})

    def test_extract_existing_files_and_junk_paths(self):
        self.write("src/d/a.txt", b"new")
        out = self.path("x.exe")
        self.mksfx("create", "-o", out, "-C", self.path("src"), ".")
        self.write("dest/d/a.txt", b"old")
        self.mksfx("extract", out, "-d", self.path("dest"), expect=3)
        self.mksfx("extract", out, "-d", self.path("dest"), "--skip-existing")
        self.assertEqual(read_bytes(self.path("dest/d/a.txt")), b"old")
        self.mksfx("extract", out, "-d", self.path("dest"), "--overwrite")
        self.assertEqual(read_bytes(self.path("dest/d/a.txt")), b"new")
        self.mksfx("extract", out, "-j", "-d", self.path("flat"))
        self.assertEqual(tree_bytes(self.path("flat")), {"a.txt": b"new"})

    def test_extract_never_writes_through_a_symbolic_link(self):
        archive = self.path("links.zip")
        with zipfile.ZipFile(archive, "w") as z:
            for name in ("docs/evil.txt", "docs/", "a/b/c/deep.txt", "good.txt", "final.txt", "sub/ok.txt"):
                z.writestr(name, b"" if name.endswith("/") else name.encode())
        os.makedirs(self.path("outside"))
        self.write("outside/target.txt", b"kept")
        dest = self.path("dest")
        os.makedirs(self.path("dest", "a"))
        os.symlink("../outside", self.path("dest", "docs"))
        os.symlink("../../outside", self.path("dest", "a", "b"))
        os.symlink("../outside/target.txt", self.path("dest", "final.txt"))
        _c, _o, err = self.mksfx("extract", "--overwrite", archive, "-d", dest, expect=3)
        for name in ("docs/evil.txt", "docs/", "a/b/c/deep.txt"):
            self.assertIn("member %s: %s" % (name, dest + "/" + name.split("/")[0]), err)
        self.assertIn("symbolic link", err)
        self.assertIn("3 of 6 members failed", err)
        self.assertEqual(tree_bytes(self.path("outside")), {"target.txt": b"kept"})
        # The final name being a link: the link is replaced, not followed.
        self.assertFalse(os.path.islink(self.path("dest", "final.txt")))
        self.assertEqual(read_bytes(self.path("dest", "final.txt")), b"final.txt")
        self.assertEqual(read_bytes(self.path("dest", "good.txt")), b"good.txt")
        self.assertEqual(read_bytes(self.path("dest", "sub", "ok.txt")), b"sub/ok.txt")

    def test_a_signal_during_extract_leaves_no_partial_file(self):
        with open(self.write("src/zeros.bin", b""), "r+b") as f:
            f.truncate(256 << 20)  # deflates to little, takes a while to write
        archive = self.path("big.exe")
        self.mksfx("create", "-1", "-o", archive, "-C", self.path("src"), ".")
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            with self.subTest(signal=number):
                target = self.path("out-%d" % number)
                os.makedirs(target)
                extract = subprocess.Popen([MKSFX, "extract", archive, "-d", target], stdin=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
                while not os.listdir(target) and extract.poll() is None:
                    time.sleep(0.001)
                extract.send_signal(number)
                self.assertEqual(extract.wait(), -number, "ends with the signal's status")
                self.assertEqual(os.listdir(target), [])

    def test_descriptor_repeating_the_header_is_stepped_over(self):
        # Info-ZIP's encrypted members carry a descriptor that repeats the header.
        self.write("src/a.txt", "one " * 300)
        self.write("src/b.txt", "two " * 300)
        archive = self.path("enc.zip")
        subprocess.run(["zip", "-q", "-P", "pw", archive, "a.txt", "b.txt"], cwd=self.path("src"), check=True)
        _c, out, _e = self.mksfx("list", "-q", archive)
        self.assertEqual(out.split(), ["a.txt", "b.txt"])
        self.mksfx("test", "-P", "pw", archive)


    def test_info_zip_encrypted_archives_extract_whole_and_a_bad_descriptor_stops(self):
        # The same three cases the stub meets under Wine: three members deflated
        # and stored, one member, and a descriptor whose CRC-32 disagrees.
        files = {"one.txt": b"first " * 2000, "two.dat": os.urandom(30000), "sub/three.txt": b"third\n" * 50}
        for name, data in files.items():
            self.write(os.path.join("src", name), data)
        for label, options, names in (("deflated", [], list(files)), ("stored", ["-0"], list(files)),
                                      ("single", [], ["one.txt"])):
            archive = self.path(label + ".zip")
            subprocess.run(["zip", "-q", "-X", "-P", "secret", *options, archive, *names],
                           cwd=self.path("src"), check=True)
            sfx = self.path(label + ".exe")
            write_bytes(sfx, b"MZ" + bytes(STUB_SIZE - 2) + read_bytes(archive))
            self.assert_mksfx_extracts(sfx, {n: files[n] for n in names}, "-P", "secret")

        data = bytearray(read_bytes(self.path("deflated.exe")))
        first = local_headers(bytes(data), STUB_SIZE)[0][0]
        (offset, _f, _m, _c, csize, _u, _name) = first
        n, m = struct.unpack_from("<HH", data, offset + 26)
        descriptor = offset + 30 + n + m + csize
        self.assertEqual(bytes(data[descriptor:descriptor + 4]), b"PK\x07\x08")
        data[descriptor + 4] ^= 0x01
        bad = self.path("bad-descriptor.exe")
        write_bytes(bad, data)
        _c, out, err = self.mksfx("list", "-q", bad, expect=1)
        self.assertEqual(out.split(), ["one.txt"])
        self.assertIn("after member one.txt", err)
        self.mksfx("test", "-P", "secret", bad, expect=1)
        target = self.path("bad-out")
        self.mksfx("extract", "-P", "secret", bad, "-d", target, expect=1)
        self.assertEqual(tree_bytes(target), {"one.txt": files["one.txt"]})

class BadInput(MksfxCase):
    def test_each_command_help_lists_the_options_of_its_manual_section(self):
        manual = read_bytes(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "mksfx",
                                         "mksfx.1")).decode()
        for section in re.split(r'\n\.SS "', manual)[1:]:
            command = section.split()[0]
            if command not in ("create", "convert", "list", "test", "extract"):
                continue
            lines = section.split("\n")
            options = {m.replace("\\-", "-") for i in range(1, len(lines)) if lines[i - 1] == ".TP"
                       for m in re.findall(r"\\-\\-[a-z\\-]+[a-z]", lines[i])}
            _c, help_text, _e = run([MKSFX, command, "--help"])
            with self.subTest(command=command):
                self.assertGreater(len(options), 2)
                self.assertEqual({o for o in options if o not in help_text}, set())

    def test_usage_errors(self):
        self.assertEqual(run([MKSFX])[0], 2)
        self.assertEqual(run([MKSFX, "frobnicate"])[0], 2)
        code, out, _ = run([MKSFX, "--help"])
        self.assertEqual(code, 0)
        self.assertIn("create", out)
        code, out, _ = run([MKSFX, "create", "--help"])
        self.assertEqual((code, "--password" in out), (0, True))
        self.assertEqual(run([MKSFX, "--version"])[0], 0)
        self.write("src/a.txt", "a")
        _c, _o, err = self.mksfx("create", self.path("src"), expect=2)
        self.assertIn("-o", err)
        _c, _o, err = self.mksfx("create", "--bogus", "-o", self.path("o.exe"), self.path("src"), expect=2)
        self.assertIn("--bogus", err)
        self.mksfx("create", "--level", "13", "-o", self.path("o.exe"), self.path("src"), expect=2)
        self.mksfx("create", "--mtime", "yesterday", "-o", self.path("o.exe"), self.path("src"), expect=2)
        self.mksfx("list", expect=2)

    def test_each_exit_code(self):
        def limit(kind, size):
            def apply():
                resource.setrlimit(kind, (size, size))
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write past the limit fails with EFBIG
            return apply
        self.write("src/big.txt", b"y" * 5000)
        ok = self.path("ok.exe")
        self.mksfx("create", "-o", ok, "-C", self.path("src"), ".")
        damaged = bytearray(read_bytes(ok))
        damaged[STUB_SIZE + 14] ^= 1  # the CRC-32
        write_bytes(self.path("damaged.exe"), damaged)
        with open(self.write("huge.bin", b""), "r+b") as f:
            f.truncate(512 << 20)
        # Each row: what happens, the command, a limit the child runs under, the exit code.
        rows = [("success", ["test", ok], None, 0),
                ("a damaged member", ["test", self.path("damaged.exe")], None, 1),
                ("a wrong command line", ["list"], None, 2),
                ("a destination under a file", ["extract", ok, "-d", self.path("ok.exe", "sub")], None, 3),
                ("a member that cannot be written", ["extract", ok, "-d", self.path("full")],
                 limit(resource.RLIMIT_FSIZE, 1000), 3),
                ("out of memory", ["create", *self.stub_args, "-o", self.path("o.exe"), self.path("huge.bin")],
                 limit(resource.RLIMIT_AS, 300 << 20), 4)]
        for what, args, preexec, code in rows:
            with self.subTest(what):
                done = subprocess.run([MKSFX] + args, capture_output=True, stdin=subprocess.DEVNULL,
                                      preexec_fn=preexec, timeout=120)
                self.assertEqual(done.returncode, code, done.stderr)
        _c, help_text, _e = run([MKSFX, "--help"])
        manual = read_bytes(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "mksfx",
                                         "mksfx.1")).decode()
        for code in range(5):
            self.assertRegex(help_text, r"\n  %d  \S" % code)
            self.assertRegex(manual, r"\.B %d\n\S" % code)

    def test_wrong_inputs_get_one_clear_sentence(self):
        empty = self.path("empty.zip")
        zipfile.ZipFile(empty, "w").close()
        shifted = self.write("shifted.zip", b"junk" * 100)
        with zipfile.ZipFile(shifted, "a") as z:
            z.writestr("a.txt", "a")
        os.symlink("nowhere", self.path("dangling"))
        self.write("src/a.txt", "a")
        broken = self.path("broken.exe")  # its central directory still points right after the stub
        self.mksfx("create", "-o", broken, "-C", self.path("src"), ".")
        write_bytes(broken, read_bytes(broken)[:STUB_SIZE] + b"\0" + read_bytes(broken)[STUB_SIZE + 1:])
        # Each row: the command, what its one line must say, the exit code.
        rows = [(["list", empty], "empty.zip: an empty ZIP archive: it holds no members", 1),
                (["test", shifted], "shifted.zip: a ZIP archive whose first member is at offset 400, not at its "
                                    "start nor after the stub; 'mksfx convert %s -o OUT.exe'" % shifted, 1),
                (["extract", shifted, "-d", ""], "the destination directory is empty (-d '')", 2),
                (["extract", shifted, "--offset", "400", "-d", self.path("dangling")],
                 "dangling: a symbolic link to nowhere, which does not exist", 3),
                (["test", broken], "no ZIP member at offset %d (the end of the stub)" % STUB_SIZE, 1)]
        for args, sentence, code in rows:
            with self.subTest(args=args[:2]):
                _c, _o, err = self.mksfx(*args, expect=code)
                self.assertIn(sentence, err)
        self.mksfx("test", "--offset", "400", shifted)

    def test_file_errors_name_the_file_and_leave_nothing(self):
        self.write("src/a.txt", "a")
        _c, _o, err = self.mksfx("create", "-o", self.path("o.exe"), self.path("missing"), expect=3)
        self.assertIn("missing", err)
        _c, _o, err = self.mksfx("create", "-o", self.path("nodir", "o.exe"), self.path("src"), expect=3)
        self.assertIn("nodir", err)
        _c, _o, err = self.mksfx("convert", self.path("missing.zip"), "-o", self.path("o.exe"), expect=3)
        self.assertIn("missing.zip", err)
        _c, _o, err = self.mksfx("convert", self.path("src", "a.txt"), "-o", self.path("o.exe"), expect=1)
        self.assertIn("not a ZIP", err)
        self.mksfx("test", self.path("missing.exe"), expect=3)
        self.assertEqual(sorted(os.listdir(self.dir)), ["src"] + (["stub.exe"] if self.stub_args else []))

    def test_create_reports_every_problem_and_writes_nothing(self):
        self.write("src/a.txt", "a")
        out = self.write("o.exe", "precious")
        problems = {"bad/CON": "names a Windows device", "caf\xe9.txt": "the name is not valid UTF-8",
                    "gone": "a symbolic link to nothing", "sub/gone": "a symbolic link to nothing"}
        self.write("src/bad/CON", "device name")
        write_bytes(self.path("src").encode() + b"/caf\xe9.txt", b"latin-1 name")
        os.symlink("missing", self.path("src", "gone"))
        os.makedirs(self.path("src", "sub"))
        os.symlink("../missing", self.path("src", "sub", "gone"))
        _c, _o, err = self.mksfx("create", "-o", out, "-C", self.path("src"), ".", expect=3)
        for name, why in problems.items():
            self.assertRegex(err, "%s: .*%s" % (re.escape(name.replace("\xe9", "\\xe9")), re.escape(why)))
        self.assertEqual(read_bytes(out), b"precious")
        os.remove(self.path("src", "gone"))
        os.remove(self.path("src", "sub", "gone"))
        self.mksfx("create", "-o", out, "-C", self.path("src"), ".", expect=1)  # names alone: a data error
        self.assertEqual(read_bytes(out), b"precious")

    def test_members_the_stub_cannot_take_are_refused(self):
        # 2 GiB: the stub counts member data in a signed 32-bit value. Sparse, so nothing is read.
        big = self.path("big", "huge.bin")
        os.makedirs(os.path.dirname(big))
        with open(big, "wb") as f:
            f.truncate(1 << 31)
        _c, _o, err = self.mksfx("create", "-0", "-o", self.path("o.exe"), big, expect=1)
        self.assertIn("huge.bin", err)
        long_name = "d" * 100 + "/" + "e" * 100 + "/" + "f" * 60  # 262 bytes; no component over 255
        self.write(os.path.join("src", long_name), "x")
        _c, _o, err = self.mksfx("create", "-o", self.path("o.exe"), "-C", self.path("src"), long_name, expect=1)
        self.assertIn("258", err)

    def test_names_reach_the_terminal_escaped(self):
        # A name that retitles the terminal, one with a C1 control (CSI), one that
        # is not UTF-8, one that clears the screen: every command shows them escaped.
        archive = self.path("names.zip")
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("\x1b]0;TITLE\x07readme.txt", b"title")
            z.writestr("caf\u00e9\u009b.txt", b"c1")
            z.writestr("bad?.txt", b"not utf-8")
            z.writestr("\x1b[2Jpacked.txt", b"bzip2 " * 10, zipfile.ZIP_BZIP2)
        write_bytes(archive, read_bytes(archive).replace(b"bad?.txt", b"bad\xff.txt"))
        os.makedirs(self.path("src"))
        write_bytes(os.path.join(self.path("src").encode(), b"\x1b]0;T\x07.txt"), b"file")
        sfx = self.path("names.exe")
        write_bytes(sfx, b"MZ" + bytes(STUB_SIZE - 2) + read_bytes(archive))
        for args in (["list", sfx], ["list", "-q", sfx], ["list", "-v", sfx], ["test", "-v", sfx],
                     ["extract", "-v", sfx, "-d", self.path("out")],
                     ["convert", "-v", "--skip-unsupported", archive, "-o", self.path("c.exe")],
                     ["convert", archive, "-o", self.path("c.exe")],
                     ["create", "-v", "-o", self.path("o.exe"), self.path("src")]):
            with self.subTest(args=args[:2]):
                if args[0] in ("create", "convert"):
                    args[1:1] = self.stub_args
                done = subprocess.run([MKSFX] + args, capture_output=True, stdin=subprocess.DEVNULL)
                shown = done.stdout + done.stderr
                self.assertIn(b"\\x1b", shown)
                self.assertNotIn(b"\xc2\x9b", shown)
                self.assertNotIn(b"\xff", shown)
                self.assertEqual([c for c in shown if c < 0x20 and c != 0x0A or c == 0x7F], [])
        _c, out, _e = self.mksfx("list", "-q", sfx, expect=None)
        self.assertIn("caf\u00e9\\xc2\\x9b.txt", out, "valid UTF-8 is kept, its controls escaped")
        self.assertIn("bad\\xff.txt", out)

    def test_archives_stay_below_2_gib(self):
        # The stub positions its file with a signed 32-bit offset. Sparse files,
        # so nothing is read or written in full.
        def sparse_zip(path, prefix, members):
            """Stored members; data None is that many zero bytes, left as a hole."""
            central = b""
            with open(path, "wb") as f:
                f.write(prefix)
                for name, size, data in members:
                    crc = zlib.crc32(data) if data is not None else zero_crc(size)
                    fields = struct.pack("<HHHHHIIIHH", 10, 0, 0, 0, 0x21, crc, size, size, len(name), 0)
                    central += b"PK\x01\x02" + struct.pack("<H", 10) + fields + struct.pack(
                        "<HHHII", 0, 0, 0, 0, f.tell()) + name
                    f.write(b"PK\x03\x04" + fields + name)
                    if data is None:
                        f.seek(size, 1)
                    else:
                        f.write(data)
                start = f.tell()
                f.write(central + b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(members), len(members),
                                                              len(central), start, 0))

        def zero_crc(size, cache={}):
            if size not in cache:
                crc, block = 0, bytes(1 << 24)
                for _ in range(size >> 24):
                    crc = zlib.crc32(block, crc)
                cache[size] = zlib.crc32(bytes(size & 0xFFFFFF), crc)
            return cache[size]

        big = 0x46000000  # 1.1 GiB: one fits, two do not
        for name in ("a.bin", "b.bin"):
            with open(self.write("src/" + name, b""), "r+b") as f:
                f.truncate(big)
        out = self.path("o.exe")
        _c, _o, err = self.mksfx("create", "-0", "-o", out, "-C", self.path("src"), ".", expect=1)
        self.assertIn("below 2 GiB (2147483648 bytes)", err)
        source = self.path("big.zip")
        sparse_zip(source, b"", [(b"a.bin", big, None), (b"b.bin", big, None)])
        _c, _o, err = self.mksfx("convert", source, "-o", out, expect=1)
        self.assertIn("below 2 GiB (2147483648 bytes)", err)
        self.assertFalse(os.path.exists(out))
        # A member the stub cannot reach fails the test; the one before it passes.
        filler = (1 << 31) - STUB_SIZE - 2 * 30 - len(b"filler/") - len(b"late.txt") - 4
        sparse_zip(out, b"MZ" + bytes(STUB_SIZE - 2), [(b"filler/", filler, None), (b"late.txt", 8, b"too late")])
        _c, _o, err = self.mksfx("test", out, expect=1)
        self.assertIn("member late.txt: it reaches past 2 GiB", err)
        self.assertNotIn("filler", err)

    def test_wrong_stub(self):
        self.write("src/a.txt", "a")
        stub = self.write("small.exe", b"MZ" + bytes(100))
        _c, _o, err = run([MKSFX, "create", "--stub", stub, "-o", self.path("o.exe"), self.path("src")])
        self.assertIn(str(STUB_SIZE), err)
        self.assertFalse(os.path.exists(self.path("o.exe")))


if __name__ == "__main__":
    unittest.main()
