#!/usr/bin/python3
"""Fails when code in src/ includes upward across the layers of the README's layer table.

The table between the "layers: begin" and "layers: end" markers of README.md names, per
library, the libraries it builds on; a library may use those and, in turn, what they build on.
Checked:
  - every #include "x/..." in src/: the included folder's library is the file's own or one it
    builds on; code outside ui/ includes no ui/ header; ui/ code includes only the ui/ headers
    of its own library, of common/ and of the libraries it builds on;
  - every quillon_subsystem(NAME DEPENDS ... UI_DEPENDS ...) in src/*/CMakeLists.txt names only
    libraries NAME may use.
An include of a folder the table does not know fails too, so a new folder gets its row.
Usage: scripts/check_layers.py [repository folder]   (exit 0 clean, 1 violations)
"""

import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)

# Files that belong to another library than their folder's, until they move into its folder.
LIBRARY_OF_FILE = [
    (re.compile(r"^platform/TlsCertificate[^/]*$"), "ftp"),
]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SUBSYSTEM = re.compile(r"quillon_subsystem\(\s*(\w+)([^)]*)\)", re.S)


def read_table():
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    match = re.search(r"<!-- layers: begin[^>]*-->(.*?)<!-- layers: end -->", text, re.S)
    if not match:
        sys.exit("check_layers: README.md has no layer table")
    builds_on = {}
    for line in match.group(1).splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) != 2 or not cells[0].startswith("`"):
            continue
        builds_on[cells[0].strip("`")] = re.findall(r"`([^`]+)`", cells[1])
    for name, below in builds_on.items():
        for other in below:
            if other not in builds_on:
                sys.exit(f"check_layers: `{name}` builds on `{other}`, which has no row")
    return builds_on


def may_use(builds_on):
    """Every library each one may use (itself included); exits on a cycle."""
    result = {}

    def walk(name, path):
        if name in path:
            sys.exit("check_layers: the layers go round: " + " -> ".join(path + [name]))
        if name not in result:
            reach = {name}
            for other in builds_on[name]:
                reach |= walk(other, path + [name])
            result[name] = reach
        return result[name]

    for name in builds_on:
        walk(name, [])
    return result


def place(relative):
    """(library, is_ui) of a path below src/, such as "tasks/ui/TaskManagerDialog.h"."""
    for pattern, library in LIBRARY_OF_FILE:
        if pattern.match(relative):
            return library, False
    parts = relative.split("/")
    is_ui = (len(parts) > 2 and parts[1] == "ui") or parts[-1] == "main.cpp"
    is_ui = is_ui or relative.startswith("app/screenshots/")
    return parts[0], is_ui


def check_includes(reach):
    problems = []
    src = ROOT / "src"
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".in") or not path.is_file():
            continue
        relative = path.relative_to(src).as_posix()
        library, is_ui = place(relative)
        if library not in reach:
            problems.append(f"src/{relative}: folder `{library}` has no row in the layer table")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match or "/" not in match.group(1):
                continue  # generated headers (Version.h) and the same folder
            target = match.group(1)
            target_library, target_is_ui = place(target)
            where = f"src/{relative}:{number}: {target}"
            if target_library not in reach:
                problems.append(f"{where}: `{target_library}` has no row in the layer table")
            elif target_library not in reach[library]:
                problems.append(f"{where}: `{library}` does not build on `{target_library}`")
            elif target_is_ui and not is_ui:
                problems.append(f"{where}: code outside ui/ includes a window header")
    return problems


def check_cmake(reach):
    problems = []
    for cmake in sorted((ROOT / "src").glob("*/CMakeLists.txt")):
        folder = cmake.parent.name
        # A folder that still holds another library's files may use what that library uses.
        allowed = set(reach.get(folder, set()))
        for pattern, library in LIBRARY_OF_FILE:
            if pattern.pattern.startswith(f"^{folder}/"):
                allowed |= reach.get(library, set())
        for match in SUBSYSTEM.finditer(cmake.read_text(encoding="utf-8")):
            for dependency in re.findall(r"\bquillon_(\w+)", match.group(2)):
                library = re.sub(r"_ui$", "", dependency)
                if library not in allowed:
                    problems.append(
                        f"src/{folder}/CMakeLists.txt: `{folder}` depends on quillon_{dependency},"
                        f" but does not build on `{library}`")
    return problems


def main():
    reach = may_use(read_table())
    problems = check_includes(reach) + check_cmake(reach)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check_layers: {len(problems)} upward dependencies (README.md, Architecture)",
              file=sys.stderr)
        return 1
    print("check_layers: every include and library dependency goes downward")
    return 0


if __name__ == "__main__":
    sys.exit(main())
