#!/usr/bin/env python3
"""Plays games between two UCI engines the way a graphical interface does
when pondering is on, which neither shared match runner does: after each
move the engine gets "go ponder" on its expected reply, then "ponderhit"
when the reply comes, or "stop" and a fresh "go" when it does not. Clocks
are charged from the real times (from "go" or "ponderhit" to "bestmove").

Fails (exit 1) on any illegal move, time loss, crash, hang or protocol
fault (a bestmove while pondering without "stop"/"ponderhit"). The rules
of chess come from the shared match runner's move generator.

  ponder_games.py --engine CMD --engine CMD --games N [--tc 2+0.02 | --tc 40/10]
                  [--openings FILE] [--seed S] [--option Name=Value ...]
"""
import argparse
import os
import queue
import random
import subprocess
import sys
import threading
import time

SHARED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared")
sys.path.insert(0, os.path.join(SHARED, "tools"))
import match  # noqa: E402

TRACE = os.environ.get("PONDER_TRACE") == "1"  # every line to and from the engines on stderr
HANG_GRACE = 5.0  # seconds past the whole clock before a silent engine counts as hung


class Fault(Exception):
    """A fault of one engine: kind is 'time', 'illegal', 'crash', 'hang' or 'protocol'."""

    def __init__(self, kind, text):
        super().__init__(text)
        self.kind = kind


class Engine:
    def __init__(self, command, options, name):
        self.command, self.options, self.name = command, options, name
        self.longest = (0.0, 0.0)  # (move time, clock it had)

    def start(self):
        self.proc = subprocess.Popen(self.command.split(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True, bufsize=1)
        self.lines, self.pondering = queue.Queue(), None  # pondering: the move pondered on, while it is
        # The reader keeps its own queue: a killed engine's end of output must not reach its successor.
        threading.Thread(target=self._read, args=(self.proc.stdout, self.lines), daemon=True).start()
        self.send("uci")
        self.wait_for("uciok", 10)
        for name, value in self.options:
            self.send(f"setoption name {name} value {value}")
        self.ready()

    @staticmethod
    def _read(stream, lines):
        for line in stream:
            lines.put((time.monotonic(), line.strip()))
        lines.put((time.monotonic(), None))

    def send(self, text):
        if TRACE:
            print(f"{time.monotonic():.3f} {self.name} < {text}", file=sys.stderr)
        try:
            self.proc.stdin.write(text + "\n")
            self.proc.stdin.flush()
        except OSError:
            raise Fault("crash", f"{self.name}: cannot write '{text}'")

    def wait_for(self, word, seconds):
        deadline = time.monotonic() + seconds
        while True:
            try:
                stamp, line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise Fault("hang", f"{self.name}: no answer in time")
            if line is None:
                raise Fault("crash", f"{self.name}: exited with {self.proc.wait()}")
            if TRACE:
                print(f"{stamp:.3f} {self.name} > {line}", file=sys.stderr)
            if line.split()[:1] == [word]:
                return stamp, line.split()

    def ready(self):
        self.send("isready")
        self.wait_for("readyok", 30)

    def ponder_check(self):
        """A bestmove while pondering, unasked, breaks the protocol."""
        while not self.lines.empty():
            line = self.lines.get_nowait()[1]
            if line is None:
                raise Fault("crash", f"{self.name}: exited while pondering")
            if line.startswith("bestmove"):
                raise Fault("protocol", f"{self.name}: '{line}' while pondering")

    def end_ponder(self):
        if self.pondering is not None:
            self.send("stop")
            self.wait_for("bestmove", 10)
            self.pondering = None


class Clock:
    def __init__(self, tc):
        if "/" in tc:
            moves, period = tc.split("/")
            self.moves_to_go, self.base, self.inc = int(moves), float(period), 0.0
        else:
            base, _, inc = tc.partition("+")
            self.moves_to_go, self.base, self.inc = 0, float(base), float(inc or 0)
        self.left, self.moved = [self.base, self.base], [0, 0]

    def go_args(self, side):
        text = f"wtime {int(self.left[0] * 1000)} btime {int(self.left[1] * 1000)}"
        if self.inc:
            text += f" winc {int(self.inc * 1000)} binc {int(self.inc * 1000)}"
        if self.moves_to_go:
            text += f" movestogo {self.moves_to_go - self.moved[side] % self.moves_to_go}"
        return text

    def charge(self, side, used):
        self.left[side] -= used
        if self.left[side] < 0:
            return False
        self.left[side] += self.inc
        self.moved[side] += 1
        if self.moves_to_go and self.moved[side] % self.moves_to_go == 0:
            self.left[side] += self.base
        return True


def game_over(pos, seen, legal):
    if not legal:
        return "checkmate" if pos.in_check() else "stalemate"
    if pos.halfmove >= 100:
        return "fifty moves"
    key = pos.repetition_key(legal)
    seen[key] = seen.get(key, 0) + 1
    if seen[key] >= 3:
        return "repetition"
    return "insufficient material" if pos.insufficient_material() else None


def play_game(engines, white, fen, tc, ponder, max_plies=600):
    """Returns (result for white: 1, 0.5 or 0, how the game ended); a fault raises."""
    clock, pos, moves, seen = Clock(tc), match.Position.from_fen(fen), [], {}
    for e in engines:
        e.pondering = None
        e.send("ucinewgame")
        e.ready()
    side = 0 if pos.turn == "w" else 1
    players = [engines[white], engines[1 - white]]
    end = "move limit"
    while len(moves) < max_plies:
        legal = pos.legal_moves()
        end = game_over(pos, seen, legal)
        if end:
            break
        e = players[side]
        players[1 - side].ponder_check()
        if e.pondering is not None and moves and e.pondering == moves[-1]:
            e.send("ponderhit")
        else:
            e.end_ponder()
            e.send(f"position fen {fen}" + (" moves " + " ".join(moves) if moves else ""))
            e.send("go " + clock.go_args(side))
        start, e.pondering = time.monotonic(), None
        stamp, words = e.wait_for("bestmove", clock.left[side] + HANG_GRACE)
        used = stamp - start
        e.longest = max(e.longest, (used, clock.left[side]))
        if not clock.charge(side, used):
            raise Fault("time", f"{e.name}: {used:.3f} s used with {clock.left[side] + used:.3f} s left")
        text = words[1] if len(words) > 1 else ""
        move = pos.find_uci(text, legal)
        if move is None:
            raise Fault("illegal", f"{e.name}: illegal move '{text}' in {pos.fen()}")
        pos = pos.play(move)
        moves.append(text)
        if ponder and len(words) > 3 and words[2] == "ponder":
            if pos.find_uci(words[3], pos.legal_moves()) is None:
                raise Fault("illegal", f"{e.name}: illegal ponder move '{words[3]}' in {pos.fen()}")
            e.send(f"position fen {fen} moves {' '.join(moves)} {words[3]}")
            e.send("go ponder " + clock.go_args(1 - side))
            e.pondering = words[3]
        side = 1 - side
    for e in engines:
        e.end_ponder()
    return (side if end == "checkmate" else 0.5), end  # the side to move is the mated one


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--engine", action="append", required=True, help="command line (give two)")
    ap.add_argument("--games", type=int, default=10)
    ap.add_argument("--tc", default="2+0.02", help="base+inc seconds, or moves/seconds")
    ap.add_argument("--openings", default=os.path.join(SHARED, "data", "openings", "noob_3moves.epd"))
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--option", action="append", default=[], help="Name=Value for both engines")
    ap.add_argument("--no-ponder", action="store_true")
    args = ap.parse_args()
    ponder = not args.no_ponder
    options = [tuple(o.split("=", 1)) for o in args.option] + ([("Ponder", "true")] if ponder else [])
    openings = [" ".join(l.split()[:4]) + " 0 1" for l in open(args.openings) if l.strip()]
    rng = random.Random(args.seed)
    engines = [Engine(c, options, f"engine{i + 1}") for i, c in enumerate((args.engine * 2)[:2])]
    for e in engines:
        e.start()
    score, faults, counts = [0.0, 0.0], [], {}
    for g in range(args.games):
        fen = openings[rng.randrange(len(openings))] if g % 2 == 0 else fen  # each opening with both colours
        white = g % 2
        try:
            result, how = play_game(engines, white, fen, args.tc, ponder)
        except Fault as f:
            faults.append(f"game {g + 1}: {f.kind}: {f}")
            for e in engines:  # a fresh pair after a fault
                e.proc.kill()
                e.start()
            continue
        counts[how] = counts.get(how, 0) + 1
        score[white] += result
        score[1 - white] += 1 - result
    for e in engines:
        try:
            e.send("quit")
            e.proc.wait(timeout=5)
        except (Fault, subprocess.TimeoutExpired):
            e.proc.kill()
    print(f"games {args.games}, tc {args.tc}, ponder {'on' if ponder else 'off'}: "
          f"engine1 {score[0]:g}, engine2 {score[1]:g}; endings {counts}")
    for e in engines:
        print(f"{e.name}: longest move {e.longest[0]:.3f} s with {e.longest[1]:.3f} s on its clock")
    for f in faults:
        print("FAULT", f)
    print(f"faults {len(faults)}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
