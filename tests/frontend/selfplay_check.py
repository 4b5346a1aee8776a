#!/usr/bin/env python3
"""Plays fast games of the engine against itself through the shared match
runner and fails on any illegal move, time loss, crash or hang."""
import os
import re
import subprocess
import sys
import tempfile

engine, threads, games = sys.argv[1], sys.argv[2], sys.argv[3]
shared = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared")
with tempfile.TemporaryDirectory() as work:
    pgn = os.path.join(work, "games.pgn")
    command = [
        sys.executable, os.path.join(shared, "tools", "match.py"),
        "--engine", f"cmd={engine}", "name=first",
        "--engine", f"cmd={engine}", "name=second",
        "--each", "tc=2+0.02", "option.Hash=8", f"option.Threads={threads}",
        "--games", games, "--openings", os.path.join(shared, "data", "openings", "noob_3moves.epd"),
        "--order", "random", "--seed", "11", "--pgn", pgn,
    ]
    result = subprocess.run(command, capture_output=True, text=True, timeout=1800)
    print(result.stdout[-3000:])
    if result.returncode != 0:
        print(result.stderr[-3000:])
        sys.exit(1)
    faults = re.findall(r"^(\w+): time losses (\d+), illegal moves (\d+), crashes (\d+), hangs (\d+)",
                        result.stdout, re.M)
    if len(faults) != 2:
        sys.exit("no engine summary in the match output")
    for name, *counts in faults:
        if any(int(c) for c in counts):
            sys.exit(f"{name}: {counts} (time losses, illegal moves, crashes, hangs)")
    played = re.search(r"Games (\d+):", result.stdout)
    if not played or played.group(1) != games:
        sys.exit("not every game was played")
