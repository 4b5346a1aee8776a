#!/usr/bin/env python3
"""Console mode as a person uses it: the real binary started with -c, typed
to through a pseudo-terminal (or, for scripted sessions, a pipe), its screen
read back. One scenario per run:

    console_check.py <quox binary> <game|setup|search|files> <shared data dir>
"""
import os
import pty
import re
import shutil
import select
import subprocess
import sys
import tempfile
import termios
import time

TIMEOUT = 60  # seconds; only a hang ever comes near it
STARTED = []  # every program started, killed at the end even when a check fails


class Console:
    """The engine in console mode behind a terminal (or a pipe)."""

    def __init__(self, binary, workdir, terminal=True):
        args = [binary, "-c", "-hash", "16"]
        if terminal:
            master, slave = pty.openpty()
            # Line editing as at any terminal, without the echo of the typed lines.
            attributes = termios.tcgetattr(slave)
            attributes[3] &= ~termios.ECHO
            termios.tcsetattr(slave, termios.TCSANOW, attributes)
            self.proc = subprocess.Popen(args, cwd=workdir, stdin=slave, stdout=slave, stderr=slave)
            os.close(slave)
            self.out_fd = self.in_fd = master
        else:
            self.proc = subprocess.Popen(args, cwd=workdir, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            self.in_fd, self.out_fd = self.proc.stdin.fileno(), self.proc.stdout.fileno()
        STARTED.append(self.proc)
        self.screen = ""
        self.wait_for("white\n")  # the start board

    def type(self, line):
        os.write(self.in_fd, (line + "\n").encode())

    def wait_for(self, pattern):
        """Reads until the screen matches the pattern; returns what was read up to the match's end."""
        deadline = time.time() + TIMEOUT
        while True:
            match = re.search(pattern, self.screen, re.M)
            if match:
                seen, self.screen = self.screen[: match.end()], self.screen[match.end():]
                return seen
            ready, _, _ = select.select([self.out_fd], [], [], max(0.0, deadline - time.time()))
            assert ready, f"no {pattern!r} on the screen; it shows:\n{self.screen[-3000:]}"
            try:
                data = os.read(self.out_fd, 65536)
            except OSError:  # the terminal closes with the program
                data = b""
            assert data, f"program ended before {pattern!r}; last output:\n{self.screen[-3000:]}"
            self.screen += data.decode(errors="replace").replace("\r\n", "\n")

    def command(self, line, until="(white|black)\n"):
        self.type(line)
        return self.wait_for(until)

    def quit(self):
        self.type("quit")
        assert self.proc.wait(TIMEOUT) == 0, "quit did not end the program cleanly"


def board(seen):
    """The FEN line of the last board in the text (placement, side, castling, ep, fifty, plies)."""
    fens = re.findall(r"^(\S+/\S+ [wb] \S+ \S+ \d+ \d+)$", seen, re.M)
    assert fens, f"no board in:\n{seen}"
    return fens[-1]


def scenario_game(binary, shared, workdir):
    c = Console(binary, workdir)
    # The same move typed three ways, then an engine reply; bad moves are refused.
    for line, shown, side in (("e2e4", "1. move e2e4", "black"), ("move e7e5", "1. move e7e5", "white"), ("Nf3", "2. move Nf3", "black")):
        seen = c.command(line, side + "\n")
        assert shown in seen, seen
    assert board(seen) == "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - 1 3", seen
    for bad in ("e7e4", "Qh9", "Ke2"):
        seen = c.command(bad, "invalid: .*\n")
        assert "invalid: " + bad in seen, seen
    c.command("set depth 4", "")
    seen = c.command("mv", "move= .*\n(.*\n)*?white\n")
    reply = board(seen)
    assert reply.endswith(" 4"), "the engine's reply is on the board: " + seen

    # Taking back and replaying: "undo" and "[" step back, "]" forward, "jump" anywhere.
    for line, side, expected in (("undo", "black", None), ("[", "white", "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2"),
                                 ("]", "black", "2. move g1f3"), ("]", "white", reply),
                                 ("jump 1", "white", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0"),
                                 ("jump 2", "white", "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - 0 2"),
                                 ("]", "black", None), ("]", "white", reply)):
        seen = c.command(line, side + "\n")
        assert expected is None or expected in (board(seen), *seen.splitlines()), f"{line}: {seen}"
    # A new move after a take-back replaces the recorded continuation.
    for line in ("undo", "d7d6", "undo"):
        c.command(line)
    seen = c.command("]", "white\n")
    assert "2... move d7d6" in seen, seen
    # Keys: the start position recurs after the knights went out and back.
    for move in ("Ng1", "Nf6", "Nf3", "Ng8"):
        c.command(move)
    c.type("test")
    seen = c.command("bd")
    keys = re.findall(r"^[0-9a-f]+( repetition)?$", seen, re.M)
    assert len(keys) == 9 and keys.count(" repetition") == 1, seen

    # Bad FEN text is refused and the game stays; settings are confirmed.
    before = board(seen)
    c.command("fen 8/8/8/8 w - -", "illegal position.*\n")
    assert board(c.command("bd")) == before, "the refused FEN changed the game"
    for line, shown in (("set level 40 5:00 2", "set level to 40 moves in 300.00 seconds, inc 2.00"),
                        ("set ss 0", "selectivity set to OFF"), ("lmr", "LMR_depth"), ("set ss 1", "set default"),
                        ("set NMP_depth 5", "NMP_depth set to 5")):
        seen = c.command(line, re.escape(shown) + ".*\n")
    c.quit()


def scenario_setup(binary, shared, workdir):
    c = Console(binary, workdir, terminal=False)
    # Kiwipete from the perft suite, entered piece by piece; an off-board word ends a line.
    with open(os.path.join(shared, "data/perft/standard.epd")) as f:
        suite = [line.split(" ;") for line in f if line.strip()]
    kiwipete = next(entry for entry in suite if entry[0].startswith("r3k2r/p1ppqpb1"))
    squares = [(ch, "abcdefgh"[f] + str(8 - r)) for r, row in enumerate(kiwipete[0].split()[0].split("/"))
               for f, ch in enumerate(re.sub(r"\d", lambda m: "." * int(m.group()), row)) if ch != "."]
    c.type("edit\n#")
    c.type("b " + " ".join(ch.upper() + sq for ch, sq in squares if ch.islower()))
    c.type("w " + " ".join(ch + sq for ch, sq in squares if ch.isupper()) + " Qz9 Pa8")
    c.type(".")
    seen = c.command("perft 2", "visited.*\n")
    assert board(seen) == "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 0", seen
    assert f"visited {int(kiwipete[2].split()[1])} nodes" in seen, seen
    # A set-up that is no position is refused.
    c.type("edit\nw Ke1 Ke2")
    assert "illegal position" in c.command("."), "a set-up of two white kings was taken"
    # The colour mirror of a position has the same perft counts.
    endgame = next(entry for entry in suite if entry[0].startswith("8/2k1p3/3pP3/3P2K1"))
    c.command("fen " + endgame[0])
    seen = c.command("reverse")
    assert board(seen).startswith("8/8/8/8/3p2k1/3Pp3/2K1P3/8 b - -"), seen
    seen = c.command("perft 3", "visited.*\n")
    assert f"visited {int(endgame[3].split()[1])} nodes" in seen, seen
    # Exchange values: a king in check, a queen hit by a pawn, a defended and a loose pawn.
    c.command("fen 4k3/8/4p3/3p4/4Q3/8/8/R3K2r w - -")
    seen = c.command("swap", "sq= e6.*\n")
    for line in ("sq= e1, swap1= 9999", "sq= e4, swap1= 1060", "sq= d5, swap1=    0", "sq= e6, swap1=  100"):
        assert line in seen, seen
    c.quit()


def scenario_search(binary, shared, workdir):
    c = Console(binary, workdir)
    c.command("d2d4", "black\n")
    # Analysis reports but does not play.
    seen = c.command("go 6", "move= .*\n(.*\n)*?\n")
    assert re.search(r"^00\] 06", seen, re.M), seen
    assert "Hash fill=" in seen, seen
    assert board(c.command("bd")).startswith("rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b"), "analysis played a move"
    seen = c.command("pv", "PV: .*\n")
    assert len(seen.split("PV: ")[1].split()) >= 2, seen

    # Self-play on a clock of ten minutes a move: only "." ends each search.
    c.type("set level 1 600 0\nset depth 80")
    c.command("self", r"^00\] 0[3-9]")
    seen = c.command(".", "move= .*\n(.*\n)*?(white|black)\n")
    assert board(seen).split()[1] == "w" and board(seen).endswith(" 2"), seen  # Black has moved
    c.wait_for(r"^00\] 0[3-9]")  # the game goes on with the other side's search
    seen = c.command(".", "move= .*\n(.*\n)*?(white|black)\n")
    assert board(seen).endswith(" 3"), seen
    # A closed terminal leaves nobody to say "." or quit: the program ends with it.
    c.wait_for(r"^00\] 0[3-9]")
    os.close(c.in_fd)
    assert c.proc.wait(TIMEOUT) == 0, "the program outlived its terminal"


def scenario_files(binary, shared, workdir):
    c = Console(binary, workdir)
    for move in "e4 c5 Nf3 d6 d4 cxd4 Nxd4 Nf6 Nc3 a6 Be2 e5 Nb3 Be7 O-O O-O".split():
        c.command(move)
    played = board(c.command("bd"))
    c.command("save", "")
    c.command("new", "white\n")
    seen = c.command("load tmp.pgn Unknown", "read .*\n(.*\n)*?white\n")
    assert board(seen) == played, seen
    assert "loading tmp.pgn, tag Unknown" in seen and "can't parse" not in seen, seen
    text = open(os.path.join(workdir, "tmp.pgn")).read()
    assert text.startswith('[Event "Unknown"]\n') and "O-O O-O" in text, text

    # A real game from a collection, replayed to its last move.
    kasparov = os.path.join(shared, "data/pgn/kasparov.pgn")
    seen = c.command(f"load {kasparov} Chandler", "read .*\n(.*\n)*?white\n")
    assert "read 1 games" in seen and "can't parse" not in seen, seen
    assert board(seen).endswith(" 82"), seen

    # "book" lists the first book's candidates (the default file name) and picks one.
    shutil.copy(os.path.join(shared, "data/books/performance.bin"), os.path.join(workdir, "quox_book.bin"))
    c.command("new", "white\n")
    seen = c.command("book", "selecting .*\n")
    assert re.search(r"^  e2e4  cnt=", seen, re.M) and re.search(r"selecting (e2e4|d2d4|c2c4)", seen), seen

    # "get" takes a position from test.epd by its id.
    with open(os.path.join(workdir, "test.epd"), "w") as f:
        f.write('; a comment\n8/8/8/4k3/8/8/3Q4/4K3 w - - bm Qd4; id "one";\n'
                'r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - id "two";\n')
    seen = c.command("get two")
    assert board(seen).startswith("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -"), seen

    # The evaluation display: the rows add up to the hand-crafted total.
    for command in ("ev", "sp"):
        seen = c.command(command, "nne= .*\n")
        rows = re.findall(r"^(\w+):\s+(-?\d+)\s+(-?\d+)\s+(-?\d+)$", seen, re.M)
        assert len(rows) == 9, seen
        total = sum(int(w) - int(b) + int(md) for _, w, b, md in rows)
        hce = int(re.search(r"hce= (-?\d+)", seen).group(1))
        assert abs(total - hce) <= 9, f"rows add up to {total}, hce= {hce}\n{seen}"
    seen = c.wait_for("King \n(.*\n){8}")  # sp ends with the king table
    seen = c.command("ev2", "eval= .*\n")
    nne = int(re.search(r"nne= (-?\d+)", c.command("ev", "nne= .*\n")).group(1))
    assert abs(float(seen.split("eval=")[1]) - nne) <= 1, seen

    # From the console to the UCI protocol.
    c.command("uci", "uciok\n")
    c.type("position startpos moves e2e4")
    c.command("go depth 3", "bestmove .*\n")
    c.quit()


if __name__ == "__main__":
    binary, name, shared = sys.argv[1], sys.argv[2], sys.argv[3]
    with tempfile.TemporaryDirectory() as workdir:
        try:
            globals()["scenario_" + name](binary, shared, workdir)
        finally:
            for proc in STARTED:
                if proc.poll() is None:
                    proc.kill()
    print(f"console {name}: passed")
