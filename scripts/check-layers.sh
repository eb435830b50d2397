#!/usr/bin/env bash
# Checks that the tree's parts depend on each other one way only, from the #include lines of the
# C++ files and from the CMake files (link lines and paths into other folders).
#
#   runtime <- platform <- toolkit (translate <- core <- forms <- app <- x11 / win32) <- configurator
#   devlower/sim <- devlower/driver
#   peers, tools, bench and testing sit on top of the parts they use.
#
# Within configurator, a folder may use another, but no two folders may use each other, however
# indirectly. A part's tests and fuzz targets may also use the peers and the test doubles of
# testing/ for their own layer or one below it, never another folder's tests/.
# Prints each violation as FILE:LINE: the arrow it breaks, and exits 1 when there is any.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - "$@" <<'PYTHON'
import os
import re
import subprocess
import sys

# Product parts: (chain, rank). A part may use parts of its own chain with a lower rank.
RANKS = {
    "runtime": ("user", 0),
    "platform": ("user", 1),
    "toolkit/translate": ("user", 2),
    "toolkit/core": ("user", 3),
    "toolkit/forms": ("user", 4),
    "toolkit/app": ("user", 5),
    "toolkit/x11": ("user", 6),
    "toolkit/win32": ("user", 6),
    "devlower/sim": ("kernel", 0),
    "devlower/driver": ("kernel", 1),
}
CONFIGURATOR_RANK = 7
# The test doubles of a layer stand on that layer: what they may use, who may use them.
TESTING = {"testing/platform": ("user", 1), "testing/kernel": ("kernel", 0), "testing/display": ("user", 1),
           "testing/toolkit": ("user", 5)}
TOP = ("peers", "tools", "bench")


def files():
    out = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                         check=True, capture_output=True).stdout.decode()
    return sorted({f for f in out.split("\0") if f and os.path.isfile(f)})


class Where:
    """The part a file belongs to, and the tests/ or fuzz/ folder it sits in, if any."""

    def __init__(self, path):
        parts = path.split("/")
        # A folder counts as a file in it, so "x/tests" is in its tests/ and "a/b" is part a/b.
        if os.path.isdir(path):
            parts.append("")
        self.path = path
        self.unit = None
        self.test_dir = None
        if parts[0] in ("runtime", "platform"):
            self.unit = parts[0]
        elif parts[0] == "devlower" and len(parts) > 2 and parts[1] == "tests":
            # The driver's tests on the simulated keyboard stack.
            self.unit = "devlower/driver"
        elif parts[0] in ("toolkit", "configurator", "devlower", "testing") + TOP and len(parts) > 2:
            self.unit = parts[0] + "/" + parts[1]
        for i, p in enumerate(parts[:-1]):
            if p in ("tests", "fuzz"):
                self.test_dir = "/".join(parts[: i + 1])
                break

    def kind(self):
        top = self.unit.split("/")[0]
        if self.unit in RANKS:
            return "product"
        if top == "configurator":
            return "configurator"
        if top == "testing":
            return "testing"
        if top in TOP:
            return top
        return "other"

    def chain_rank(self):
        if self.unit in RANKS:
            return RANKS[self.unit]
        if self.unit.startswith("configurator/"):
            return ("user", CONFIGURATOR_RANK)
        if self.unit in TESTING:
            return TESTING[self.unit]
        return (None, None)

    def label(self):
        return self.unit + (" tests" if self.test_dir and self.test_dir.endswith("tests") else
                            " fuzz" if self.test_dir else "")


def verdict(src, dst):
    """None when src may use dst, else why not."""
    if dst.test_dir and dst.test_dir != src.test_dir:
        return "uses another folder's tests/ (shared test doubles belong in testing/)"
    if src.unit == dst.unit:
        return None
    sk, dk = src.kind(), dst.kind()
    if sk == "other" or dk == "other":
        return None
    schain, srank = src.chain_rank()
    dchain, drank = dst.chain_rank()
    testing_code = src.test_dir is not None
    if dk in TOP:
        if sk == "bench" and dk in ("peers", "tools"):
            return None
        if sk == dk and sk in ("tools", "peers"):
            return None  # a tool on another tool; a peer on another (the client's simulated keyboards)
        if testing_code and dk == "peers" and sk in ("product", "configurator", "tools"):
            return None
        return "a lower part uses one on top of it"
    if dk == "testing":
        if sk in TOP or (sk == "testing" and schain == dchain and srank >= drank):
            return None
        if not testing_code:
            return "product code uses test doubles"
        if schain != dchain or srank < drank:
            return "test doubles of another layer"
        return None
    # dst is a product or configurator part.
    if sk in TOP:
        return None
    if schain != dchain:
        return "the user-mode and kernel-mode stacks are apart"
    if sk == "configurator" and dk == "configurator":
        return None  # cycles are checked on their own
    if drank < srank or (sk == "testing" and drank == srank):
        return None
    return "the arrow points up the layers"


def resolve_include(src, name, index):
    here = os.path.normpath(os.path.join(os.path.dirname(src), name))
    if here in index["all"]:
        return here
    cands = index["suffix"].get(name, [])
    if not cands:
        return None
    srcw = Where(src)
    same = [c for c in cands if Where(c).unit == srcw.unit]
    return (same or cands)[0]


INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def include_arrows(paths, index):
    for path in paths:
        if not path.endswith((".cpp", ".h", ".hpp", ".cc", ".c", ".inc")):
            continue
        with open(path, encoding="utf-8", errors="replace") as f:
            for no, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve_include(path, m.group(2), index)
                if target:
                    yield path, no, target


CMAKE_PATH = re.compile(
    r"\$\{(PROJECT_SOURCE_DIR|CMAKE_SOURCE_DIR|CMAKE_CURRENT_SOURCE_DIR|CMAKE_CURRENT_LIST_DIR)\}/([\w./-]+)")
DEFINE = re.compile(r"\b(add_library|add_executable|vrnke_add_test|vrnke_add_bench|vrnkeflt_add_sim_library)"
                    r"\s*\(\s*([\w-]+)")
LINK = re.compile(r"\btarget_link_libraries\s*\(([^)]*)\)", re.S)
LIBS = re.compile(r"\b(vrnke_add_test|vrnke_add_bench)\s*\(\s*([\w-]+)([^)]*)\)", re.S)
KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE", "LIBS", "SOURCES", "LABELS"}


def strip_comments(text):
    return "\n".join(re.sub(r"#.*", "", line) for line in text.split("\n"))


def cmake_arrows(paths, index):
    cmake = [p for p in paths if p.endswith(("CMakeLists.txt", ".cmake")) and Where(p).unit]
    targets = {}  # name -> a file standing for it (its CMake file, in its tests/ when it is a test)
    texts = {}
    for path in cmake:
        with open(path, encoding="utf-8", errors="replace") as f:
            texts[path] = strip_comments(f.read())
        for m in DEFINE.finditer(texts[path]):
            name = m.group(2)
            if "${" in name:
                continue
            # A target is placed where its first source lives, so a helper library built from a
            # tests/ folder counts as that folder's tests.
            end = texts[path].find(")", m.end())
            rest = texts[path][m.end():end if end >= 0 else None]
            src = re.search(r"([\w${}/.-]+\.(?:cpp|c))", rest)
            at = path
            if src:
                s = src.group(1)
                s = re.sub(r"\$\{(CMAKE_CURRENT_LIST_DIR|CMAKE_CURRENT_SOURCE_DIR|_\w+)\}/", "", s)
                if "${" not in s:
                    at = os.path.normpath(os.path.join(os.path.dirname(path), s))
            targets.setdefault(name, at)
    for path, text in texts.items():
        def line_of(pos):
            return text.count("\n", 0, pos) + 1

        for m in CMAKE_PATH.finditer(text):
            base = "" if m.group(1) in ("PROJECT_SOURCE_DIR", "CMAKE_SOURCE_DIR") else os.path.dirname(path)
            target = os.path.normpath(os.path.join(base, m.group(2)))
            # A folder naming its own files (its sources, its tests) is no arrow.
            if target.startswith("..") or not Where(target).unit or Where(target).unit == Where(path).unit:
                continue
            yield path, line_of(m.start()), target
        links = []
        for m in LINK.finditer(text):
            words = m.group(1).split()
            if words:
                links.append((words[0], words[1:], m.start()))
        for m in LIBS.finditer(text):
            lm = re.search(r"\bLIBS\b(.*?)(?:\b(?:SOURCES|LABELS)\b|$)", m.group(3), re.S)
            if lm:
                links.append((m.group(2), lm.group(1).split(), m.start()))
        for user, libs, pos in links:
            if user not in targets:
                continue
            for lib in libs:
                if lib in KEYWORDS or lib not in targets:
                    continue
                # Placed at the user's side: a test target sits in its tests/ folder.
                yield (path, line_of(pos), targets[lib], targets[user])


def main():
    paths = files()
    index = {"all": set(paths), "suffix": {}}
    for p in paths:
        if not p.endswith((".h", ".hpp", ".inc")):
            continue
        parts = p.split("/")
        for i in range(1, len(parts)):
            index["suffix"].setdefault("/".join(parts[i:]), []).append(p)

    violations = []
    config_edges = {}  # (from, to) -> first place
    arrows = list(include_arrows(paths, index))
    arrows += list(cmake_arrows(paths, index))
    for arrow in arrows:
        path, line, target = arrow[0], arrow[1], arrow[2]
        src = Where(arrow[3] if len(arrow) > 3 else path)
        dst = Where(target)
        if not src.unit or not dst.unit:
            continue
        why = verdict(src, dst)
        if why:
            violations.append(f"{path}:{line}: {src.label()} -> {dst.label()}: {why}")
        if (src.unit != dst.unit and src.unit.startswith("configurator/") and
                dst.unit.startswith("configurator/") and not src.test_dir and not dst.test_dir):
            config_edges.setdefault((src.unit, dst.unit), f"{path}:{line}")

    # Folders of configurator that reach each other.
    graph = {}
    for a, b in config_edges:
        graph.setdefault(a, set()).add(b)

    def reaches(a, b):
        seen, todo = set(), [a]
        while todo:
            n = todo.pop()
            if n == b:
                return True
            if n not in seen:
                seen.add(n)
                todo.extend(graph.get(n, ()))
        return False

    for (a, b), where in sorted(config_edges.items(), key=lambda e: e[1]):
        if reaches(b, a):
            violations.append(f"{where}: {a} -> {b}: a cycle, {b} uses {a} too")

    for v in sorted(set(violations)):
        print(v)
    if violations:
        print(f"layers: {len(set(violations))} arrow(s) break the layers", file=sys.stderr)
        return 1
    print("layers: every arrow runs one way")
    return 0


sys.exit(main())
PYTHON
