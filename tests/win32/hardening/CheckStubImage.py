#!/usr/bin/env python3
"""Checks the built stub's PE image for what it promises about where it runs.

Usage: CheckStubImage.py OBJDUMP STUB.exe VERSION   (VERSION as in 0.1.0)

- It imports from no DLL but those Windows always takes from its system
  directory; comctl32 and mpr in particular are loaded by hand from there.
- ASLR and DEP: DYNAMIC_BASE and NX_COMPAT are set, and the base relocations
  are in the file, so the loader can move the image at all; TERMINAL_SERVER_AWARE
  too, as for any program of the Windows toolchain.
- The imports that carry a promise: ReplaceFileA (a replaced file keeps its
  name as spelled, attributes, creation time and security), GetTempFileNameA
  (its temporary file never clashes and needs no room after the name), and
  what a failed stack check ends the process with.
- The layout: code, one read-only section holding the constants and the import
  tables, initialized data (only where a variable starts other than zeroed),
  zeroed data, resources and relocations, in that order and with those
  rights; no section is both writable and executable.
- It imports no ANSI GDI text call: GDI reads such text in the system's code
  page, not in the process's UTF-8, so the stub draws its own text wide.
- The manifest (RT_MANIFEST 1): asInvoker, supportedOS from Vista to 10/11,
  system DPI awareness, UTF-8 as the active code page, and common controls
  v6 as its only dependency (Windows takes it from its side-by-side store).
- The version resource (RT_VERSION 1): the project's version in the fixed
  part and in the strings, product name "Zelvix SFX", a file description.

Import list and header flags come from objdump; the resources are read from
the file here, since objdump does not show their contents. Every failed check
is printed; the exit code is the number of failures (0: all held).
"""
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

REQUIRED_IMPORTS = {"ReplaceFileA", "GetTempFileNameA", "IsProcessorFeaturePresent", "TerminateProcess"}
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll", "msvcrt.dll"}
# Each section of the image and its rights (R, W, X); .rsrc is writable
# because binutils gives that name those rights whatever its input.
LAYOUT = [(".text", "R-X"), (".rdata", "R--"), (".data", "RW-"), (".bss", "RW-"), (".rsrc", "RW-"),
          (".reloc", "R--")]
IMPORT_DIRECTORY = 1
IMPORT_ADDRESS_TABLE = 12
RT_VERSION = 16
RT_MANIFEST = 24
SUPPORTED_OS = {  # the compatibility ids Microsoft publishes for each release
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY = "urn:schemas-microsoft-com:compatibility.v1"
WINDOWS_SETTINGS = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
WINDOWS_SETTINGS_2019 = "http://schemas.microsoft.com/SMI/2019/WindowsSettings"
COMMON_CONTROLS_6 = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                     "processorArchitecture": "*", "publicKeyToken": "6595b64144ccf1df", "language": "*"}
# GDI's ANSI calls that take text (gdi32 exports no other text call with an A).
ANSI_GDI_TEXT = {"TextOutA", "ExtTextOutA", "GetTextExtentPoint32A", "GetTextExtentPointA",
                 "GetTextExtentExPointA", "GetCharWidthA", "GetCharWidth32A", "GetCharABCWidthsA",
                 "GetGlyphOutlineA", "GetTextFaceA", "GetTextMetricsA", "PolyTextOutA", "CreateFontA",
                 "CreateFontIndirectA", "GetCharacterPlacementA", "GetKerningPairsA", "GetOutlineTextMetricsA"}

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
    return condition


class PeImage:
    """The sections and the resource tree of a PE32 file (or PE32+: the x86-64 twin's)."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, = struct.unpack_from("<H", data, pe + 6)
        optional_size, = struct.unpack_from("<H", data, pe + 20)
        optional = pe + 24
        magic, = struct.unpack_from("<H", data, optional)
        if magic not in (0x10B, 0x20B):
            raise ValueError("neither PE32 nor PE32+")
        directories = optional + (96 if magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.resource_rva, self.resource_size = self.directories[2]
        self.sections = []
        self.table = []  # (name, raw size, virtual size, rights) as the section table holds them
        table = optional + optional_size
        for i in range(sections):
            name, vsize, rva, raw_size, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            characteristics, = struct.unpack_from("<I", data, table + 40 * i + 36)
            name = name.rstrip(b"\0").decode()
            rights = "".join(letter if characteristics & bit else "-"
                             for letter, bit in (("R", 0x40000000), ("W", 0x80000000), ("X", 0x20000000)))
            self.sections.append((name, rva, max(vsize, raw_size), raw))
            self.table.append((name, raw_size, vsize, rights))

    def section_of(self, rva):
        for index, (_, start, size, _) in enumerate(self.sections):
            if start <= rva < start + size:
                return self.table[index]
        return None

    def offset(self, rva):
        for _, start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} outside every section")

    def resource(self, type_id, name_id):
        """The bytes of the first language of resource (type_id, name_id), or None."""
        if not self.resource_rva:
            return None
        base = self.offset(self.resource_rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)

        def child(directory, wanted):
            for name, target in entries(directory):
                if wanted is None or (not name & 0x80000000 and name == wanted):
                    return target
            return None

        level = 0
        for wanted in (type_id, name_id, None):
            target = child(level, wanted)
            if target is None:
                return None
            if wanted is not None and not target & 0x80000000:
                return None
            level = target & 0x7FFFFFFF
        rva, size = struct.unpack_from("<II", self.data, base + level)
        start = self.offset(rva)
        return self.data[start:start + size]


def read_version_node(data, at):
    """One node of a version resource: (key, value bytes, is_text, children, end)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    position = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if value_type == 1 else value_length
    value = data[position:position + value_bytes]
    position = (position + value_bytes + 3) & ~3
    children = []
    while position < end:
        node = read_version_node(data, position)
        children.append(node)
        position = (node[4] + 3) & ~3
    return key, value, value_type == 1, children, end


def version_strings(root):
    strings = {}
    for key, _, _, children, _ in root[3]:
        if key != "StringFileInfo":
            continue
        for table in children:
            for name, value, _, _, _ in table[3]:
                strings[name] = value.decode("utf-16-le").rstrip("\0")
    return strings


def check_imports_and_flags(objdump, stub):
    headers = subprocess.run([objdump, "-p", "-h", stub], capture_output=True, text=True, check=True).stdout
    dlls = [line.split(":", 1)[1].strip().lower() for line in headers.splitlines() if "DLL Name:" in line]
    check(dlls, "the import table lists no DLL at all (objdump output not understood)")
    for dll in dlls:
        check(dll in ALLOWED_DLLS, f"imports {dll}, which Windows may load from beside the program")
    lines = headers.splitlines()
    imported = {match[1] for match in (re.match(r"\t[0-9a-f]+\t +[0-9]+ +(\S+)$", line) for line in lines) if match}
    missing = sorted(REQUIRED_IMPORTS - imported)
    check(not missing, f"does not import {missing}")
    flags = set()
    for i, line in enumerate(lines):
        if line.startswith("DllCharacteristics"):
            for following in lines[i + 1:]:
                if not following.startswith("\t\t"):
                    break
                flags.add(following.strip())
    imported = {line.split()[-1] for line in lines if line.startswith("\t") and len(line.split()) == 3}
    ansi_text = sorted(imported & ANSI_GDI_TEXT)
    check(not ansi_text, f"imports ANSI GDI text calls {ansi_text}, which read the system's code page")
    check("DYNAMIC_BASE" in flags, f"DllCharacteristics lacks DYNAMIC_BASE (has {sorted(flags)})")
    check("NX_COMPAT" in flags, f"DllCharacteristics lacks NX_COMPAT (has {sorted(flags)})")
    check("TERMINAL_SERVICE_AWARE" in flags, f"DllCharacteristics lacks TERMINAL_SERVER_AWARE (has {sorted(flags)})")
    characteristics = [line for line in lines if line.startswith("Characteristics 0x")]
    check(characteristics and not int(characteristics[0].split()[1], 16) & 0x0001,
          "the relocations-stripped flag is set: the image cannot be moved")


def check_sections_and_resources(stub, version):
    with open(stub, "rb") as f:
        image = PeImage(f.read())
    relocations = [s for s in image.sections if s[0] == ".reloc"]
    check(relocations and relocations[0][2] > 0, "no .reloc section: ASLR cannot move the image")
    for name, raw_size, virtual_size, rights in image.table:
        print(f"{name:8} raw {raw_size:6} virtual {virtual_size:6} {rights}")
        check(not ("W" in rights and "X" in rights), f"{name} is both writable and executable")
    layout = [(name, rights) for name, _, _, rights in image.table]
    without_data = [section for section in LAYOUT if section[0] != ".data"]
    check(layout in (LAYOUT, without_data), f"sections {layout}, expected {LAYOUT} (.data where needed)")
    for directory in (IMPORT_DIRECTORY, IMPORT_ADDRESS_TABLE):
        rva, size = image.directories[directory]
        first, last = image.section_of(rva), image.section_of(rva + size - 1)
        check(size and first and first is last and first[0] == ".rdata",
              f"data directory {directory} ({rva:#x}, {size} bytes) is not inside .rdata")

    manifest = image.resource(RT_MANIFEST, 1)
    if check(manifest is not None, "no manifest resource (RT_MANIFEST, id 1)"):
        root = ElementTree.fromstring(manifest)
        levels = [e.get("level") for e in root.iter(f"{{{ASM_V3}}}requestedExecutionLevel")]
        check(levels == ["asInvoker"], f"requested execution levels {levels}, expected ['asInvoker']")
        ids = {e.get("Id").lower() for e in root.iter(f"{{{COMPATIBILITY}}}supportedOS")}
        missing = [name for guid, name in SUPPORTED_OS.items() if guid not in ids]
        check(not missing, f"supportedOS lacks Windows {missing}")
        check(ids <= set(SUPPORTED_OS), f"unknown supportedOS ids {sorted(ids - set(SUPPORTED_OS))}")
        aware = [(e.text or "").strip().lower() for e in root.iter(f"{{{WINDOWS_SETTINGS}}}dpiAware")]
        check(aware == ["true"], f"dpiAware is {aware}, expected system awareness ['true']")
        code_pages = [(e.text or "").strip() for e in root.iter(f"{{{WINDOWS_SETTINGS_2019}}}activeCodePage")]
        check(code_pages == ["UTF-8"], f"activeCodePage is {code_pages}, expected ['UTF-8']")
        dependencies = [dict(e.attrib) for e in root.iter(f"{{{ASM_V1}}}assemblyIdentity")]
        check(dependencies == [COMMON_CONTROLS_6], f"dependent assemblies {dependencies}, expected common controls 6")

    resource = image.resource(RT_VERSION, 1)
    if check(resource is not None, "no version resource (RT_VERSION, id 1)"):
        root = read_version_node(resource, 0)
        check(root[0] == "VS_VERSION_INFO", f"version resource key {root[0]!r}")
        fixed = struct.unpack_from("<13I", root[1], 0)
        check(fixed[0] == 0xFEEF04BD, "VS_FIXEDFILEINFO signature missing")
        expected = [int(part) for part in version.split(".")] + [0]
        file_version = [fixed[2] >> 16, fixed[2] & 0xFFFF, fixed[3] >> 16, fixed[3] & 0xFFFF]
        product_version = [fixed[4] >> 16, fixed[4] & 0xFFFF, fixed[5] >> 16, fixed[5] & 0xFFFF]
        check(file_version == expected, f"FILEVERSION {file_version}, expected {expected}")
        check(product_version == expected, f"PRODUCTVERSION {product_version}, expected {expected}")
        strings = version_strings(root)
        check(strings.get("ProductName") == "Zelvix SFX", f"ProductName {strings.get('ProductName')!r}")
        check(strings.get("FileDescription"), "no FileDescription")
        check(strings.get("FileVersion") == version, f"FileVersion {strings.get('FileVersion')!r}, expected {version}")
        check(strings.get("ProductVersion") == version,
              f"ProductVersion {strings.get('ProductVersion')!r}, expected {version}")


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    objdump, stub, version = argv[1:]
    check_imports_and_flags(objdump, stub)
    check_sections_and_resources(stub, version)
    for failure in failures:
        print("FAIL:", failure)
    if not failures:
        print("stub image: system imports only, ASLR and DEP, read-only imports, no writable code, "
              "manifest and version resource as promised")
    return len(failures)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
