#!/usr/bin/env python3
"""Writes the stub as Windows before 10 version 1903 runs it: the same image
with its manifest's activeCodePage entry overwritten by spaces (same length,
same code), so that the process's code page is the system's.

Usage: WithoutUtf8CodePage.py STUB.exe OUT.exe"""
import pathlib
import sys

ENTRY = b'<activeCodePage xmlns="http://schemas.microsoft.com/SMI/2019/WindowsSettings">UTF-8</activeCodePage>'

if len(sys.argv) != 3:
    sys.exit(__doc__)
image = pathlib.Path(sys.argv[1]).read_bytes()
if image.count(ENTRY) != 1:
    sys.exit(f"WithoutUtf8CodePage: {sys.argv[1]} holds the entry {image.count(ENTRY)} times, expected once")
pathlib.Path(sys.argv[2]).write_bytes(image.replace(ENTRY, b" " * len(ENTRY)))
