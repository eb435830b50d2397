#!/usr/bin/env python3
"""Makes keyboard.replay: interrupt reports of a USB keyboard as the filter sees them, built
from the HID usage tables (Keyboard/Keypad page 0x07, boot report layout) rather than recorded.

  make_reports.py [--check] <output>

The file has one report a line, "KEYBOARD HEX-BYTES" (keyboard 0 here), with "#" comments;
the simulation's tests and the Wine run both replay it. --check compares instead of writing
and fails when the file is not what this script makes.

Boot report (8 bytes): modifier bits, a reserved byte, then up to six key usages in the order
they went down; a released key's slot closes up. Pressing a seventh key puts the keyboard in
the rollover error state: every key slot holds ErrorRollOver (0x01) while the modifiers stay
reported, until a key goes up. The keyboard's vendor report (id 0x05, 16 bytes) carries the
eight programmable function keys as a bitmap.
"""
import sys

# Keyboard/Keypad usage page: the usages the stream uses.
USAGE = {**{chr(ord("a") + i): 0x04 + i for i in range(26)},
         **{str((i + 1) % 10): 0x1E + i for i in range(10)},
         "Enter": 0x28, "Escape": 0x29, "Backspace": 0x2A, "Tab": 0x2B, "Space": 0x2C,
         **{f"F{i + 1}": 0x3A + i for i in range(12)},
         "Delete": 0x4C, "Right": 0x4F, "Left": 0x50, "Down": 0x51, "Up": 0x52}
ERROR_ROLLOVER = 0x01
# Modifier byte bits, in the order of usages 0xE0-0xE7.
MODIFIER = {"LeftCtrl": 0x01, "LeftShift": 0x02, "LeftAlt": 0x04, "LeftGUI": 0x08,
            "RightCtrl": 0x10, "RightShift": 0x20, "RightAlt": 0x40, "RightGUI": 0x80}
VENDOR_REPORT_ID = 0x05
VENDOR_REPORT_LENGTH = 16


class Keyboard:
    """The keys held; every change yields the report the keyboard then sends."""

    def __init__(self):
        self.modifiers = 0
        self.keys = []
        self.lines = []

    def _emit(self, note):
        if len(self.keys) > 6:
            slots = [ERROR_ROLLOVER] * 6
        else:
            slots = [USAGE[k] for k in self.keys] + [0] * (6 - len(self.keys))
        report = [self.modifiers, 0] + slots
        self.lines.append("0 " + " ".join(f"{b:02x}" for b in report) + f"  # {note}")

    def down(self, *names):
        for name in names:
            if name in MODIFIER:
                self.modifiers |= MODIFIER[name]
            else:
                self.keys.append(name)
            self._emit(f"{name} down, held: {self.held()}")

    def up(self, *names):
        for name in names:
            if name in MODIFIER:
                self.modifiers &= ~MODIFIER[name]
            else:
                self.keys.remove(name)
            self._emit(f"{name} up, held: {self.held()}")

    def tap(self, *names):
        for name in names:
            self.down(name)
            self.up(name)

    def held(self):
        names = [n for n, bit in MODIFIER.items() if self.modifiers & bit] + self.keys
        return "+".join(names) if names else "nothing"

    def vendor(self, function_keys, note):
        bitmap = 0
        for k in function_keys:
            bitmap |= 1 << (k - 1)
        report = [VENDOR_REPORT_ID, bitmap] + [0] * (VENDOR_REPORT_LENGTH - 2)
        self.lines.append("0 " + " ".join(f"{b:02x}" for b in report) + f"  # {note}")

    def comment(self, text):
        self.lines.append(f"# {text}")


def make():
    kb = Keyboard()
    kb.comment("Typing \"Hi 2\" and Enter: a shifted letter, plain keys.")
    kb.down("LeftShift", "h")
    kb.up("h", "LeftShift")
    kb.tap("i", "Space", "2", "Enter")
    kb.comment("Several keys held at once, released out of order.")
    kb.down("a", "s", "d")
    kb.up("s")
    kb.down("f")
    kb.up("a", "d", "f")
    kb.comment("Programmable keys: F1 alone, F1 with a key already held, F2.")
    kb.tap("F1")
    kb.down("Tab", "F1")
    kb.up("F1", "Tab")
    kb.tap("F2")
    kb.comment("A chord with modifiers.")
    kb.down("LeftCtrl", "LeftAlt", "Delete")
    kb.up("Delete", "LeftAlt", "LeftCtrl")
    kb.comment("Seven keys with a modifier held: the seventh puts every slot in ErrorRollOver.")
    kb.down("RightShift", "q", "w", "e", "r", "t", "y", "u")
    kb.up("u")
    kb.up("q", "w", "e", "r", "t", "y", "RightShift")
    kb.comment("The vendor report: report id 0x05, then the programmable keys' bitmap.")
    kb.vendor([1], "vendor report: programmable key 1 down")
    kb.vendor([1, 8], "vendor report: programmable keys 1 and 8 down")
    kb.vendor([], "vendor report: all programmable keys up")
    kb.comment("F1 pressed again after the vendor reports, then everything up.")
    kb.tap("F1")
    header = [
        "# Keyboard interrupt reports for replay through the filter: KEYBOARD HEX-BYTES.",
        "# Made by make_reports.py from the HID usage tables; do not edit, run the script.",
    ]
    return "\n".join(header + kb.lines) + "\n"


def main(argv):
    check = "--check" in argv
    paths = [a for a in argv if a != "--check"]
    if len(paths) != 1:
        sys.exit(__doc__)
    text = make()
    if check:
        with open(paths[0]) as f:
            if f.read() != text:
                sys.exit(f"{paths[0]} is not what make_reports.py makes: run the script")
        print(f"{paths[0]}: up to date")
        return
    with open(paths[0], "w") as f:
        f.write(text)


if __name__ == "__main__":
    main(sys.argv[1:])
