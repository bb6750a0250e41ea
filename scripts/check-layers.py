#!/usr/bin/env python3
"""Checks that every include of the program's sources points down a layer.

Layers, lowest first; folders on one line are peers and do not include each other. A folder
includes its own files and those of lower layers only, and the lower layers include no
Widgets header. Prints each wrong include and exits 1 when there is one.
"""
import pathlib
import re
import sys

LAYERS = [
    ["base"],
    ["registry"],
    ["config"],
    ["platform", "package", "resources"],
    ["support", "service"],
    ["ui"],
    ["session"],
]
# Folders below the window framework: no Widgets header.
NO_WIDGETS = {"base", "registry", "config", "platform", "package", "resources", "support",
              "service"}

LEVEL = {folder: level for level, folders in enumerate(LAYERS) for folder in folders}
PROJECT_INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/')
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s+<(Q[A-Za-z]+)>')


def widgets_headers():
    for root in pathlib.Path("/usr/include").glob("*/qt6/QtWidgets"):
        return {p.name for p in root.iterdir() if p.name.startswith("Q")}
    return set()


def main():
    src = pathlib.Path(__file__).resolve().parent.parent / "src"
    widgets = widgets_headers()
    faults = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp", ".c"):
            continue
        folder = path.relative_to(src).parts[0]
        if folder not in LEVEL:
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            where = f"{path.relative_to(src.parent)}:{number}"
            match = PROJECT_INCLUDE.match(line)
            if match:
                target = match.group(1)
                if target != folder and LEVEL.get(target, 99) >= LEVEL[folder]:
                    faults.append(f"{where}: {folder} includes {target}, which is not below it")
            match = SYSTEM_INCLUDE.match(line)
            if match and folder in NO_WIDGETS and match.group(1) in widgets:
                faults.append(f"{where}: {folder} includes the Widgets header {match.group(1)}")
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print("layers: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
