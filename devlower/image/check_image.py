#!/usr/bin/env python3
"""Checks a 32-bit kernel driver image against the kernel it will run on.

  check_image.py --image X.sys --symbols X.full.sys --placement placement.txt
                 --kernel DIR [--objdump OBJDUMP]

Reads the headers, sections and imports with objdump -p / -h, and the routines' sections from
the symbol table of the unstripped link. Prints one line per finding and exits 1 when there is
any; "image ok" and 0 otherwise.

Checked:
- a 32-bit native image whose entry is DriverEntry and whose checksum is right;
- imports only from ntoskrnl.exe, hal.dll and usbd.sys, each routine exported by that module
  of the kernel in DIR and not just a stub there, and none of the routines the image must carry
  itself;
- no export table, no unwind, exception, constructor or thread-local sections;
- INIT discardable, PAGE and .text not;
- the placement file's routines in their sections, and every other routine in .text.
"""
import argparse
import os
import re
import struct
import subprocess
import sys

MODULES = ("ntoskrnl.exe", "hal.dll", "usbd.sys")
# Linked into the image: the kernel under test exports these without implementing them, and
# the device-security routine is a library routine, never a kernel export.
CARRIED = re.compile(r"^(IoCsq\w+|WdmlibIoCreateDeviceSecure|IoCreateDeviceSecure)$")
# Routines that raise the processor to dispatch level or above: code that calls them, and so
# the code that runs while they hold, must not be pageable or discardable.
RAISING = re.compile(r"^(KfAcquireSpinLock|KeAcquireSpinLockRaiseToDpc|KeAcquireSpinLockAtDpcLevel|"
                     r"KefAcquireSpinLockAtDpcLevel|KeAcquireInStackQueuedSpinLock\w*|KfRaiseIrql|"
                     r"KeRaiseIrqlToDpcLevel|IoAcquireCancelSpinLock|KeAcquireQueuedSpinLock\w*)$")
FORBIDDEN_SECTIONS = {
    ".edata": "exports",
    ".eh_frame": "unwind tables",
    ".pdata": "unwind tables",
    ".xdata": "unwind tables",
    ".gcc_except_table": "exception tables",
    ".ctors": "static constructors",
    ".dtors": "static destructors",
    ".CRT": "C runtime initialisers",
    ".tls": "thread-local data",
}
ALLOWED_SECTIONS = {".text", "PAGE", "INIT", ".data", ".rdata", ".bss", ".idata", ".reloc"}
DISCARDABLE = 0x02000000


def objdump(tool, flag, path):
    return subprocess.run([tool, flag, path], check=True, capture_output=True, text=True).stdout


def exports_of(tool, path):
    """Names in the export table of a module, from objdump -p."""
    names = set()
    inside = False
    for line in objdump(tool, "-p", path).splitlines():
        if line.startswith("[Ordinal/Name Pointer] Table"):
            inside = True
            continue
        if inside:
            m = re.match(r"^\s+\[\s*\d+\]\s+(\S+)", line)
            if not m:
                break
            names.add(m.group(1))
    return names


def stubs_of(tool, path):
    """Exports the module only stubs: Wine's builds name each such entry ___wine_stub_<routine>
    in their symbol table, and calling one aborts."""
    text = objdump(tool, "-t", path)
    return set(re.findall(r"\s_+wine_stub_(\w+)\s*$", text, re.M))


def imports_of(text):
    """{dll: [(routine, slot rva), ...]} from objdump -p: the part after "The Import Tables", up
    to the next heading. Each descriptor line gives the DLL's first import slot; the slots
    follow in the order of its routines. An import by ordinal is named "#<ordinal>"."""
    imports = {}
    current = None
    inside = False
    first_slot = None
    for line in text.splitlines():
        if line.startswith("The Import Tables"):
            inside = True
            continue
        if not inside:
            continue
        if line and not line[0].isspace():
            break
        m = re.match(r"^\s([0-9a-f]{8})\t([0-9a-f]{8}) ([0-9a-f]{8}) ([0-9a-f]{8}) ([0-9a-f]{8}) ([0-9a-f]{8})\s*$", line)
        if m:
            first_slot = int(m.group(6), 16)
            continue
        m = re.match(r"^\s+DLL Name: (\S+)", line)
        if m:
            current = imports.setdefault(m.group(1), [])
            continue
        m = re.match(r"^\t[0-9a-f]+\t\s*(\d+)\s+(\S+)?\s*$", line)
        if m and current is not None and first_slot is not None:
            current.append((m.group(2) or "#" + m.group(1), first_slot + 4 * len(current)))
    return imports


def header_fields(text):
    fields = {}
    for line in text.splitlines():
        m = re.match(r"^(\w+)\s+([0-9a-fA-F]+)\b", line)
        if m:
            fields.setdefault(m.group(1), m.group(2))
    return fields


def section_names(tool, path):
    """Section names in table order, as objdump resolves the long ones ("/4")."""
    return [m.group(1) for m in re.finditer(r"^\s+\d+ (\S+)\s+[0-9a-f]{8}\s", objdump(tool, "-h", path), re.M)]


def sections_of(path, names=None):
    """[(name, rva, size, characteristics)] read from the section table itself; names, when
    given, replace the table's own."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    out = []
    for i in range(count):
        h = table + 40 * i
        name = data[h:h + 8].rstrip(b"\0").decode("ascii", "replace")
        vsize, rva = struct.unpack_from("<II", data, h + 8)
        flags = struct.unpack_from("<I", data, h + 36)[0]
        out.append((names[i] if names else name, rva, vsize, flags))
    return out, data


def pe_checksum(data, offset):
    total = 0
    padded = data + (b"\0" if len(data) % 2 else b"")
    for i in range(0, len(padded), 2):
        if i in (offset, offset + 2):
            continue
        total += padded[i] | (padded[i + 1] << 8)
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def plain_name(symbol):
    """The routine's own name: no leading underscore, stdcall suffix or C++ mangling."""
    name = symbol[1:] if symbol.startswith("_") else symbol
    name = re.sub(r"@\d+$", "", name)
    # Only the last component of a (nested) mangled name: _ZL3Foo..., _ZN12_GLOBAL__N_13FooE...
    if name.startswith("_Z"):
        rest = name[3:] if name.startswith(("_ZL", "_ZN")) else name[2:]
        last = None
        while True:
            m = re.match(r"^L?(\d+)", rest)
            if not m:
                break
            start = m.end()
            last = rest[start:start + int(m.group(1))]
            rest = rest[start + int(m.group(1)):]
        if last:
            return last
    return name


def routines_of(text, section_names):
    """{plain name: section name} of the function symbols in objdump -t output."""
    out = {}
    for line in text.splitlines():
        m = re.match(r"^\[\s*\d+\]\(sec\s+(-?\d+)\)\(fl [^)]*\)\(ty\s+(\w+)\)\(scl\s+\d+\)\s+\(nx \d+\)\s+0x[0-9a-f]+\s+(\S+)",
                     line)
        if not m or m.group(2) != "20" or int(m.group(1)) < 1:
            continue
        symbol = m.group(3)
        cold = symbol.endswith(".cold")
        base = plain_name(symbol[:-5] if cold else symbol)
        section = section_names[int(m.group(1)) - 1]
        out.setdefault(base, set()).add((section, cold))
    return out


def read_placement(path):
    placement = {}
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            parts = line.split()
            if len(parts) != 2 or parts[0] not in ("PAGE", "INIT", ".text"):
                sys.exit(f"{path}:{number}: expected '<PAGE, INIT or .text> <routine>'")
            placement[parts[1]] = parts[0]
    return placement


def check(args):
    findings = []
    headers = objdump(args.objdump, "-p", args.image)
    fields = header_fields(headers)

    # Headers.
    if fields.get("Magic") != "010b":
        findings.append(f"header: magic {fields.get('Magic')}, not a 32-bit image")
    if fields.get("Subsystem", "").lstrip("0") != "1":
        findings.append(f"header: subsystem {fields.get('Subsystem')}, not native")
    sections, data = sections_of(args.image, section_names(args.objdump, args.image))
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    stored = struct.unpack_from("<I", data, pe + 24 + 64)[0]
    if stored != pe_checksum(data, pe + 24 + 64):
        findings.append(f"header: checksum {stored:#x} is not the image's")
    if "There is an export table" in headers:
        findings.append("exports: the image has an export table")

    # Sections.
    by_name = {s[0]: s for s in sections}
    for name, _, _, flags in sections:
        if name in FORBIDDEN_SECTIONS:
            findings.append(f"section {name}: {FORBIDDEN_SECTIONS[name]} have no place in a driver")
        elif name not in ALLOWED_SECTIONS:
            findings.append(f"section {name}: not a section of this driver")
    for name, want in (("INIT", True), ("PAGE", False), (".text", False)):
        if name in by_name and bool(by_name[name][3] & DISCARDABLE) != want:
            findings.append(f"section {name}: {'not ' if want else ''}discardable")

    # Imports.
    kernel = {m: exports_of(args.objdump, os.path.join(args.kernel, m)) for m in MODULES}
    stubs = {m: stubs_of(args.objdump, os.path.join(args.kernel, m)) for m in MODULES}
    imports = imports_of(headers)
    for dll, routines in sorted(imports.items()):
        module = dll.lower()
        if module not in kernel:
            findings.append(f"import from {dll}: not one of {', '.join(MODULES)}")
            continue
        for routine, _ in routines:
            if CARRIED.match(routine):
                findings.append(f"import {dll}!{routine}: the image carries this routine itself")
            elif routine not in kernel[module]:
                findings.append(f"import {dll}!{routine}: not exported by {module} of the kernel under test")
            elif routine in stubs[module]:
                findings.append(f"import {dll}!{routine}: only a stub in {module} of the kernel under test")

    # No pageable or discardable code raises the IRQL: a routine placed there by the sources, or
    # a resident one the compiler folded into a pageable caller, would fault at dispatch level.
    base = int(fields.get("ImageBase", "0"), 16)
    raising = {base + slot: name for routines in imports.values() for name, slot in routines if RAISING.match(name)}
    for name in ("PAGE", "INIT"):
        if name not in by_name:
            continue
        code = subprocess.run([args.objdump, "-d", "-j", name, args.image], check=True, capture_output=True,
                              text=True).stdout
        for m in re.finditer(r"^\s*([0-9a-f]+):.*\b(?:call|jmp)\s+\*0x([0-9a-f]+)\s*$", code, re.M):
            target = int(m.group(2), 16)
            if target in raising:
                findings.append(f"section {name}: code at {int(m.group(1), 16):#x} calls {raising[target]}")

    # Where each routine lies: the symbol table of the unstripped link, whose loaded sections
    # must be the image's.
    full_sections, _ = sections_of(args.symbols, section_names(args.objdump, args.symbols))
    loaded = [s for s in full_sections if not s[0].startswith(".debug")]
    if [(s[0], s[1], s[2]) for s in loaded] != [(s[0], s[1], s[2]) for s in sections]:
        findings.append("symbols: the unstripped link's sections differ from the image's")
    routines = routines_of(objdump(args.objdump, "-t", args.symbols), [s[0] for s in full_sections])
    # The linker folds the constructor list into .text; the compiler's initialiser routines
    # show that there is one.
    for name in sorted(routines):
        if name.startswith(("_GLOBAL__sub_I", "_GLOBAL__sub_D")):
            findings.append(f"routine {name}: static constructors or destructors have no place in a driver")
    entry = int(fields.get("AddressOfEntryPoint", "0"), 16)
    entry_section = next((s[0] for s in sections if s[1] <= entry < s[1] + max(s[2], 1)), None)
    if "DriverEntry" not in routines:
        findings.append("entry: no DriverEntry routine")
    placement = read_placement(args.placement)
    if placement.get("DriverEntry") != entry_section:
        findings.append(f"entry: the entry point lies in {entry_section}, DriverEntry belongs in "
                        f"{placement.get('DriverEntry', '.text')}")
    for name, want in sorted(placement.items()):
        if name not in routines:
            findings.append(f"routine {name}: listed for {want}, not in the image")
    for name, places in sorted(routines.items()):
        want = placement.get(name, ".text")
        for section, cold in sorted(places):
            # A cold part may stay resident whatever its routine; nothing else moves.
            if section != want and not (cold and section == ".text"):
                findings.append(f"routine {name}{'.cold' if cold else ''}: in {section}, belongs in {want}")
    return findings


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--image", required=True)
    parser.add_argument("--symbols", required=True)
    parser.add_argument("--placement", required=True)
    parser.add_argument("--kernel", required=True)
    parser.add_argument("--objdump", default="i686-w64-mingw32-objdump")
    args = parser.parse_args()
    findings = check(args)
    for f in findings:
        print(f)
    if findings:
        print(f"{len(findings)} finding(s) in {args.image}")
        return 1
    print(f"image ok: {args.image}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
