#!/usr/bin/env python3
"""Fails when a source file includes a header of a higher floor, or of a
sibling on its own floor. The floors, from the ground up, are written here
and nowhere else:

    core <- board <- eval, tablebase, book <- search <- tools <- frontend
"""
import os
import re
import sys

FLOORS = [["core"], ["board"], ["eval", "tablebase", "book"], ["search"], ["tools"], ["frontend"]]
LEVEL = {room: level for level, rooms in enumerate(FLOORS) for room in rooms}

def main(src):
    faults = []
    for folder, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp", ".S")):
                continue
            path = os.path.join(folder, name)
            mine = os.path.relpath(path, src).split(os.sep)[0]
            if mine not in LEVEL:
                faults.append(f"{path}: folder '{mine}' is on no floor")
                continue
            with open(path, errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = re.match(r'\s*#\s*include\s+"([^"/]+)/', line)
                    if not m or m.group(1) == mine:
                        continue
                    theirs = m.group(1)
                    if theirs not in LEVEL:
                        faults.append(f"{path}:{number}: includes '{theirs}', which is on no floor")
                    elif LEVEL[theirs] >= LEVEL[mine]:
                        where = "a higher floor" if LEVEL[theirs] > LEVEL[mine] else "a sibling on its floor"
                        faults.append(f"{path}:{number}: {mine} includes {theirs} ({where}): {line.strip()}")
    for fault in faults:
        print(fault)
    print(f"{len(faults)} include(s) against the floor order" if faults else "includes run downwards only")
    return 1 if faults else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "src")))
