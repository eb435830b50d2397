#!/usr/bin/env python3
"""Runs check_image.py (the command line given) on the deliberately broken image and fails
unless it exits 1 with every finding below."""
import re
import subprocess
import sys

EXPECTED = [
    ("user-mode import", r"^import from KERNEL32\.dll: not one of"),
    ("routine the kernel lacks", r"^import ntoskrnl\.exe!ExFetchLicenseData: not exported"),
    ("routine the kernel only stubs", r"^import ntoskrnl\.exe!IoGetFileObjectGenericMapping: only a stub"),
    ("imported queue routine", r"^import ntoskrnl\.exe!IoCsqInitialize: the image carries"),
    ("exported global", r"^exports: the image has an export table"),
    ("export section", r"^section \.edata: exports"),
    ("unwind tables", r"^section \.eh_frame: unwind tables"),
    ("static constructor", r"^routine _GLOBAL__sub_I_\w+: static constructors"),
    ("spin-lock routine made pageable", r"^routine BrokenUnderSpinLock: in PAGE, belongs in \.text"),
    ("spin lock taken in pageable code", r"^section PAGE: code at 0x[0-9a-f]+ calls KfAcquireSpinLock"),
    ("entry outside INIT", r"^entry: the entry point lies in \.text, DriverEntry belongs in INIT"),
    ("listed routine missing", r"^routine BrokenMissing: listed for PAGE, not in the image"),
]


def main():
    run = subprocess.run([sys.executable] + sys.argv[1:], capture_output=True, text=True)
    print(run.stdout, end="")
    print(run.stderr, end="", file=sys.stderr)
    failures = []
    if run.returncode != 1:
        failures.append(f"exit status {run.returncode}, expected 1")
    lines = run.stdout.splitlines()
    for what, pattern in EXPECTED:
        if not any(re.search(pattern, line) for line in lines):
            failures.append(f"not found: {what} ({pattern})")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
