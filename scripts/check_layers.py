#!/usr/bin/env python3
"""Fails on any include that runs upwards or sideways where scripts/layers.txt
forbids it, and on system or library headers in engine folders (only
platform/ and the hosts may include those; the engine sees the C++ library).

    scripts/check_layers.py [ROOT]
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
# Folders that may reach the system and other libraries directly.
SYSTEM_ALLOWED = ("platform", "views", "hosts/kolvanex", "hosts/companions", "hosts/gui")


def read_table():
    floors, folders = [], {}
    for line in (ROOT / "scripts" / "layers.txt").read_text().splitlines():
        words = line.split("#", 1)[0].split()
        if not words:
            continue
        floor, folder, sideways = words[0], words[1], set(words[2:])
        if floor not in floors:
            floors.append(floor)
        folders[folder] = (floors.index(floor), sideways)
    return folders


def folder_of(path, folders):
    """The longest folder of the table that holds path, or None."""
    best = None
    for folder in folders:
        if path == folder or path.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def main():
    folders = read_table()
    errors = []
    for path in sorted(ROOT.rglob("*")):
        if path.suffix not in (".cpp", ".hpp", ".h") or not path.is_file():
            continue
        rel = path.relative_to(ROOT).as_posix()
        if rel.startswith(("build", "tests/", "bench/", "fuzz/")):
            continue
        own = folder_of(rel, folders)
        if own is None:
            errors.append(f"{rel}: its folder is not in scripts/layers.txt")
            continue
        own_floor, sideways = folders[own]
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, header = match.groups()
            if kind == "<":
                standard = "/" not in header and not header.endswith(".h")
                if not standard and not own.startswith(SYSTEM_ALLOWED):
                    errors.append(f"{rel}:{number}: <{header}> is not for engine code; "
                                  "reach it through platform/")
                continue
            target = folder_of(header, folders)
            if target is None:
                errors.append(f"{rel}:{number}: \"{header}\" is in no folder of the table")
                continue
            if target == own:
                continue
            target_floor, _ = folders[target]
            if target_floor > own_floor:
                continue
            if target_floor == own_floor and target.split("/")[-1] in sideways:
                continue
            way = "upwards" if target_floor < own_floor else "sideways"
            errors.append(f"{rel}:{number}: \"{header}\" runs {way} ({own} -> {target})")
    for error in errors:
        print(error)
    print(f"layers: {len(errors)} wrong include(s)" if errors else "layers: every include points down")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
