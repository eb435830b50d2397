#!/usr/bin/env python3
"""Checks devlower/vrnkeflt.inf the way the installer reads it (32-bit x86): sections, the
filter registration, the service and its binary. Then breaks a copy in one place at a time and
expects the check to say so.

  inf_test.py <path to vrnkeflt.inf>
"""
import re
import sys
import unittest

DRIVER = "vrnkeflt"
BINARY = "vrnkeflt.sys"
HID_CLASS_GUID = "{745a17a0-74d3-11d0-b6fe-00a0c90f57da}"
FLG_ADDREG_TYPE_MULTI_SZ = 0x00010000
FLG_ADDREG_APPEND = 0x00000008
DIRID_DRIVERS = "12"


def strip_comment(line):
    out, quoted = [], False
    for c in line:
        if c == '"':
            quoted = not quoted
        elif c == ";" and not quoted:
            break
        out.append(c)
    return "".join(out).strip()


def split_fields(text):
    """Comma-separated fields, quotes kept out, blanks trimmed."""
    fields, current, quoted = [], [], False
    for c in text:
        if c == '"':
            quoted = not quoted
        elif c == "," and not quoted:
            fields.append("".join(current).strip())
            current = []
        else:
            current.append(c)
    fields.append("".join(current).strip())
    return fields


def parse(text):
    """{section name (lower case): [(key or None, value)]}; a name seen twice is an error."""
    sections, current, errors = {}, None, []
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = strip_comment(lines[i])
        # A trailing backslash continues the line.
        while line.endswith("\\") and i + 1 < len(lines):
            i += 1
            line = line[:-1] + strip_comment(lines[i])
        i += 1
        if not line:
            continue
        m = re.match(r"^\[([^\]]+)\]$", line)
        if m:
            name = m.group(1).strip().lower()
            if name in sections:
                errors.append(f"section [{m.group(1)}] appears twice")
            current = sections.setdefault(name, [])
            continue
        if current is None:
            errors.append(f"line {i}: outside any section")
            continue
        key, sep, value = line.partition("=")
        # "=" inside quotes does not split.
        if sep and key.count('"') % 2 == 0:
            current.append((key.strip(), value.strip()))
        else:
            current.append((None, line))
    return sections, errors


def values(section, key):
    return [v for k, v in section if k is not None and k.lower() == key.lower()]


def check(text):
    sections, findings = parse(text)
    strings = {k.lower(): v.strip('"') for k, v in sections.get("strings", []) if k}

    def expand(value):
        def one(m):
            token = m.group(1)
            if token.isdigit():
                return "%" + token + "%"  # a directory id
            if token.lower() not in strings:
                findings.append(f"string %{token}% is not defined in [Strings]")
                return token
            return strings[token.lower()]

        return re.sub(r"%([^%]+)%", one, value)

    def section(name, why):
        s = sections.get(name.lower())
        if s is None:
            findings.append(f"section [{name}] ({why}) is missing")
        return s or []

    # Every string a line uses.
    for name, entries in sections.items():
        if name != "strings":
            for k, v in entries:
                expand((k or "") + "=" + v)

    version = section("Version", "the header")
    signature = [v.strip('"').lower() for v in values(version, "Signature")]
    if signature not in (["$windows nt$"], ["$chicago$"]):
        findings.append(f"Version: Signature {signature} is not $WINDOWS NT$")
    if [v.lower() for v in values(version, "Class")] != ["hidclass"] or \
            [v.lower() for v in values(version, "ClassGuid")] != [HID_CLASS_GUID]:
        findings.append("Version: the keyboard's device node is of class HIDClass " + HID_CLASS_GUID)
    if not values(version, "Provider"):
        findings.append("Version: no Provider")
    driver_ver = values(version, "DriverVer")
    if len(driver_ver) != 1 or not re.match(r"^\d\d/\d\d/\d{4},\d+\.\d+\.\d+\.\d+$", driver_ver[0]):
        findings.append(f"Version: DriverVer {driver_ver} is not mm/dd/yyyy,w.x.y.z")

    # Manufacturer -> models for x86 -> install section, decorated as the installer looks it up.
    install_names = []
    for _, value in section("Manufacturer", "the models"):
        fields = split_fields(value)
        if not any(f.lower() == "ntx86" for f in fields[1:]):
            findings.append(f"Manufacturer: models {fields[0]} are not decorated for NTx86")
            continue
        for _, model in section(fields[0] + ".NTx86", "the 32-bit models"):
            parts = split_fields(model)
            if len(parts) < 2 or not parts[1]:
                findings.append(f"model line '{model}' has no hardware id")
            install_names.append(parts[0])
    if not install_names:
        findings.append("no model installs anything on 32-bit systems")

    for install in install_names:
        base = install + ".NTx86"
        if base.lower() not in sections:
            findings.append(f"install section [{base}] is missing (the 32-bit decoration)")
            continue
        main = sections[base.lower()]
        # The filter's file, copied to the drivers folder.
        copied = []
        for copy in values(main, "CopyFiles"):
            for item in split_fields(copy):
                if item.startswith("@"):
                    copied.append((item[1:], "DefaultDestDir"))
                else:
                    copied += [(v, item) for k, v in section(item, "files to copy") if k is None]
        targets = [sec for name, sec in copied if name.lower() == BINARY]
        if not targets:
            findings.append(f"[{base}] copies no {BINARY}")
        dest = {k.lower(): split_fields(v)[0] for k, v in sections.get("destinationdirs", []) if k}
        for sec in targets:
            if dest.get(sec.lower(), dest.get("defaultdestdir")) != DIRID_DRIVERS:
                findings.append(f"{BINARY} is not copied to the drivers folder (dirid {DIRID_DRIVERS})")
        disks = {k.strip(): v for k, v in sections.get("sourcedisksnames", []) if k}
        files = {k.lower(): split_fields(v)[0] for k, v in sections.get("sourcedisksfiles", []) if k}
        if BINARY not in files:
            findings.append(f"SourceDisksFiles: no {BINARY}")
        elif files[BINARY] not in disks:
            findings.append(f"SourceDisksFiles: {BINARY} names disk {files[BINARY]}, not in SourceDisksNames")

        # The filter registration on the device node.
        lower = []
        for add in values(section(base + ".HW", "the device node's registry values"), "AddReg"):
            for reg in split_fields(add):
                for k, v in section(reg, "registry values"):
                    entry = split_fields(v if k is None else k + "=" + v)
                    if len(entry) < 4 or entry[0].upper() != "HKR" or entry[2].lower() not in ("lowerfilters",
                                                                                            "upperfilters"):
                        continue
                    if entry[2].lower() == "upperfilters":
                        findings.append(f"[{reg}] registers {entry[4:]} as an upper filter")
                        continue
                    flags = int(entry[3], 0) if entry[3] else 0
                    if not flags & FLG_ADDREG_TYPE_MULTI_SZ:
                        findings.append(f"[{reg}] LowerFilters is not a multi-string (flags {entry[3]})")
                    if not flags & FLG_ADDREG_APPEND:
                        findings.append(f"[{reg}] LowerFilters replaces the node's other filters (no append flag)")
                    lower += [e.lower() for e in entry[4:]]
        if DRIVER not in lower:
            findings.append(f"[{base}.HW] does not add {DRIVER} to LowerFilters")

        # The service: a kernel driver started on demand, from the copied binary.
        services = {}
        for add in values(section(base + ".Services", "the services"), "AddService"):
            parts = split_fields(add)
            if len(parts) >= 3:
                services[parts[0].lower()] = parts[2]
        if DRIVER not in services:
            findings.append(f"[{base}.Services] installs no service {DRIVER} (the filter's name)")
            continue
        service = section(services[DRIVER], "the filter's service")

        def number(key):
            v = values(service, key)
            try:
                return int(v[0], 0) if len(v) == 1 else None
            except ValueError:
                return None

        if number("ServiceType") != 1:
            findings.append("service: ServiceType is not 1 (kernel driver)")
        if number("StartType") != 3:
            findings.append("service: StartType is not 3 (on demand, with the device)")
        if number("ErrorControl") not in (0, 1):
            findings.append("service: ErrorControl is not 0 or 1")
        binary = values(service, "ServiceBinary")
        if len(binary) != 1 or not re.match(r"^%(12|10%\\System32\\drivers)%?\\" + re.escape(BINARY) + "$",
                                            binary[0], re.I):
            findings.append(f"service: ServiceBinary {binary} is not %12%\\{BINARY}")
    return findings


class InfTest(unittest.TestCase):
    path = None

    @classmethod
    def setUpClass(cls):
        with open(cls.path, encoding="utf-8-sig") as f:
            cls.text = f.read()

    def test_the_inf_is_whole(self):
        self.assertEqual(check(self.text), [])

    # (what breaks, text replaced, its replacement, a finding that must appear)
    BROKEN = [
        ("no 32-bit decoration on the models", "VrnkeFlt.Models, NTx86", "VrnkeFlt.Models",
         "not decorated for NTx86"),
        ("install section decorated for x64 only", "[VrnkeFlt.Install.NTx86]", "[VrnkeFlt.Install.NTamd64]",
         "install section [VrnkeFlt.Install.NTx86] is missing"),
        ("filter added as an upper filter", '"LowerFilters"', '"UpperFilters"', "as an upper filter"),
        ("filter value replaces the others", "0x00010008", "0x00010000", "no append flag"),
        ("filter value is a plain string", "0x00010008", "0x00000008", "not a multi-string"),
        ("another driver's name registered", 'LowerFilters",0x00010008,"vrnkeflt"',
         'LowerFilters",0x00010008,"kbdfilter"', "does not add vrnkeflt"),
        ("no .HW section", "[VrnkeFlt.Install.NTx86.HW]", "[VrnkeFlt.Install.HW]", "section [VrnkeFlt.Install.NTx86.HW]"),
        ("service under another name", "AddService = vrnkeflt,", "AddService = vrnke,", "installs no service vrnkeflt"),
        ("service is a user program", "ServiceType   = 1 ", "ServiceType   = 16 ", "ServiceType is not 1"),
        ("service starts at boot", "StartType     = 3 ", "StartType     = 0 ", "StartType is not 3"),
        ("service binary misnamed", r"%12%\vrnkeflt.sys", r"%12%\vrnkeflt.dll", "ServiceBinary"),
        ("binary not copied", "CopyFiles = VrnkeFlt.CopyFiles", "", "copies no vrnkeflt.sys"),
        ("binary on an undeclared disk", "vrnkeflt.sys = 1", "vrnkeflt.sys = 2", "names disk 2"),
        ("binary copied to the system folder", "VrnkeFlt.CopyFiles = 12", "VrnkeFlt.CopyFiles = 11",
         "not copied to the drivers folder"),
        ("string not defined", 'ServiceDesc  = "VRNKE keyboard lower filter"', "", "%ServiceDesc%"),
        ("wrong class", "Class       = HIDClass", "Class       = Keyboard", "class HIDClass"),
        ("bad driver version", "DriverVer   = 12/10/2026,1.0.0.0", "DriverVer   = 2026-12-10", "DriverVer"),
        ("section twice", "[VrnkeFlt.CopyFiles]", "[VrnkeFlt.Service]", "appears twice"),
    ]

    def test_each_break_is_found(self):
        for what, old, new, expected in self.BROKEN:
            with self.subTest(what):
                self.assertIn(old, self.text)
                findings = check(self.text.replace(old, new, 1))
                self.assertTrue(any(expected in f for f in findings), f"{expected!r} not in {findings}")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    InfTest.path = sys.argv.pop(1)
    unittest.main(verbosity=2)
