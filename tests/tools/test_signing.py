#!/usr/bin/env python3
"""Signed archives: a publisher signs the finished archive with osslsigncode,
which appends the certificate table after the central directory and records it
in the header. The signature must verify and the archive must still list and
test; a stub that is already signed is refused, since appending an archive
would break its signature.

Run by ctest: MKSFX=build/host/mksfx python3 tests/tools/test_signing.py
"""
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_mksfx import MKSFX, STUB_SIZE, MksfxCase, read_bytes, run, write_bytes  # noqa: E402


class Signing(MksfxCase):
    def setUp(self):
        super().setUp()
        if not shutil.which("osslsigncode") or not shutil.which("openssl"):
            self.skipTest("needs osslsigncode and openssl")
        if self.stub_args:
            self.skipTest("needs the real stub built in: osslsigncode signs Windows programs only")
        self.key, self.cert = self.path("key.pem"), self.path("cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", self.key,
                        "-out", self.cert, "-days", "2", "-subj", "/CN=Zelvix test signer"],
                       check=True, capture_output=True)

    def sign(self, unsigned, signed):
        code, out, err = run(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key, "-n", "Zelvix test",
                              "-in", unsigned, "-out", signed])
        self.assertEqual(code, 0, out + err)
        return signed

    def test_signed_archive_verifies_lists_and_tests(self):
        files = self.make_tree()
        unsigned = self.path("setup.exe")
        self.mksfx("create", "-q", "-o", unsigned, "-C", self.path("src"), ".")
        signed = self.sign(unsigned, self.path("setup-signed.exe"))
        self.assertGreater(os.path.getsize(signed), os.path.getsize(unsigned))
        code, out, err = run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", signed])
        self.assertEqual(code, 0, out + err)
        _c, out, _e = self.mksfx("list", "-q", signed)
        self.assertEqual(sorted(n for n in out.splitlines() if not n.endswith("/")), sorted(files))
        self.mksfx("test", "-q", signed)
        self.assert_peers_accept(signed, files)

    def test_signed_stub_is_refused(self):
        self.write("src/a.txt", "a")
        self.mksfx("create", "-q", "-o", self.path("plain.exe"), self.path("src"))
        write_bytes(self.path("stub.exe"), read_bytes(self.path("plain.exe"))[:STUB_SIZE])
        signed_stub = self.sign(self.path("stub.exe"), self.path("stub2.exe"))
        signed_archive = self.sign(self.path("plain.exe"), self.path("plain2.exe"))
        subprocess.run(["zip", "-q", "-j", self.path("in.zip"), self.path("src/a.txt")], check=True)
        for stub in (signed_stub, signed_archive):
            for args in (["create", "-o", self.path("o.exe"), self.path("src")],
                         ["convert", self.path("in.zip"), "-o", self.path("o.exe")]):
                with self.subTest(stub=os.path.basename(stub), command=args[0]):
                    code, _o, err = run([MKSFX, args[0], "--stub", stub] + args[1:])
                    self.assertEqual(code, 1, err)
                    self.assertIn("stub is signed", err)
                    self.assertFalse(os.path.exists(self.path("o.exe")))


if __name__ == "__main__":
    unittest.main()
