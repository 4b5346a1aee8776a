#!/usr/bin/env python3
"""Seed corpora and timed runs of the fuzz harnesses (built by "make fuzz").

  fuzz.py seeds BUILD SHARED      writes BUILD/seeds/<harness>/ from the shared data
  fuzz.py run BUILD SECONDS [NAME ...]
                                  runs each harness (all by default) for SECONDS
                                  on its seeds and its growing corpus BUILD/corpus/<harness>/;
                                  inputs that fail are kept as BUILD/crashes/<harness>-*
Ends with "N passed, N failed": a harness fails when it found a crash, a leak,
undefined behaviour, a hang (-timeout) or an allocation above -malloc_limit_mb.
"""
import bisect
import glob
import os
import re
import struct
import subprocess
import sys

HARNESSES = ["uci", "fen", "pgn", "book", "network", "tablebase", "records"]
HERE = os.path.dirname(os.path.abspath(__file__))
# Polyglot keys of the positions the book harness probes: the start, 1.e4, 1.e4 d5 and 1.d4.
BOOK_KEYS = [0x463B96181691FC9C, 0x823C9B50FD114196, 0x0756B94461C50FB0, 0x830EB9B20758D1DE]
# Pieces of interface lines that the words of the seed lines alone do not give.
UCI_FRAGMENTS = ["setoption name ", " value ", "fen ", " w KQkq - 0 1", "/8/"]


def lines_of(path, limit=None):
    with open(path, encoding="latin-1") as f:
        return [line.rstrip("\n") for line in f if line.strip()][:limit]


def read(path, size=-1):
    with open(path, "rb") as f:
        return f.read(size)


def fen_of(epd_line):
    return " ".join(epd_line.split(";")[0].split()[:4])


def record_of(line, score):
    """The 40-byte training record of an EPD line's position."""
    placement, side, castling, ep = fen_of(line).split()
    board = []
    for row in reversed(placement.split("/")):
        for ch in re.sub(r"\d", lambda m: "." * int(m.group()), row):
            board.append(0 if ch == "." else "PNBRQK..pnbrqk".index(ch) + 1)
    rights = sum(1 << i for i, ch in enumerate("KQkq") if ch in castling) | (0x10 if side == "b" else 0)
    ep_square = 64 if ep == "-" else (ord(ep[0]) - 97) + 8 * (int(ep[1]) - 1)
    return bytes(board[i] | board[i + 1] << 4 for i in range(0, 64, 2)) + struct.pack("<BBhhh", rights, ep_square, score, score, score)


def seed_inputs(shared, source):
    """Each harness's seeds, a list of bytes or text."""
    wac, sts = f"{shared}/data/suites/wac.epd", f"{shared}/data/suites/sts.epd"
    perft, perft960, frc = (f"{shared}/data/{name}.epd" for name in ("perft/standard", "perft/chess960", "openings/FRC_openings"))
    uci = [line.replace("SHARED", shared) for line in lines_of(os.path.join(HERE, "uci_lines.txt"))]
    uci += ["position fen " + fen_of(line) + " 0 1" for line in lines_of(wac, 30) + lines_of(perft960, 10)]
    uci += ["position fen " + line + " moves e2e4 e7e5" for line in lines_of(frc, 5)]
    pgn = [read(path, 16384) for path in sorted(glob.glob(f"{shared}/data/pgn/edge/*.pgn"))]
    for path in sorted(glob.glob(f"{shared}/data/pgn/*.pgn")):  # the first three games of each collection
        text = read(path, 65536)
        starts = [m.start() for m in re.finditer(rb"\n\n\[Event ", text)]
        pgn.append(text[: starts[2] + 1] if len(starts) > 2 else text[:8192])
    book = []
    for path in sorted(glob.glob(f"{shared}/data/books/*.bin")):  # the book's start, and around each probed key
        data = read(path)
        keys = [struct.unpack_from(">Q", data, at)[0] for at in range(0, len(data) - 15, 16)]
        book.append(data[: 16 * 64])
        book += [data[16 * max(0, at - 32) : 16 * (at + 32)] for at in (bisect.bisect_left(keys, key) for key in BOOK_KEYS)]
    network = [read(path) for path in sorted(glob.glob(f"{source}/nets/*.net"))]
    # Small networks of every output form: one bucket, 16 accumulators, 8-bit weights.
    for material, hidden in ((0, 0), (8, 0), (0, 16), (8, 16)):
        count = 768 * 16 + 10 * material + (32 + material) + (hidden or 8) * (32 + material) + 9 * hidden
        network.append(struct.pack("<12hi", 806, 100, 200, 1, 6, 0, 0, 16, 16, material, hidden, 0, count) +
                       bytes(i * 37 % 251 for i in range(count)))
    # The leading byte picks the harness's table: KQvK, KRvK, KPvK, KBNvK, plus 4 for DTZ.
    tablebase = [bytes([index + 4 * kind]) + read(path)
                 for index, name in enumerate(["KQvK", "KRvK", "KPvK", "KBNvK"])
                 for kind, path in enumerate([f"{shared}/syzygy/{name}.rtbw", f"{shared}/syzygy/{name}.rtbz"])
                 if os.path.getsize(path) <= 65536]
    records = [record_of(line, n * 97 % 600 - 300) for n, line in enumerate(lines_of(wac, 64))]
    return {"fen": lines_of(wac, 120) + lines_of(sts, 60) + lines_of(perft) + lines_of(perft960, 30) + lines_of(frc, 20),
            "uci": uci, "pgn": pgn, "book": book, "network": network, "tablebase": tablebase,
            "records": [b"".join(records[i : i + 4]) for i in range(0, len(records), 4)]}


def seeds(build, shared):
    for name, inputs in seed_inputs(os.path.abspath(shared), os.path.dirname(os.path.dirname(HERE))).items():
        folder = os.path.join(build, "seeds", name)
        os.makedirs(folder, exist_ok=True)
        for n, data in enumerate(inputs):
            with open(os.path.join(folder, "seed-%04d" % n), "wb") as f:
                f.write(data.encode("latin-1") if isinstance(data, str) else data)
    # The interface harness's dictionary: every word of its seed lines.
    words = sorted({w for line in lines_of(os.path.join(HERE, "uci_lines.txt")) for w in line.split() if "SHARED" not in w})
    with open(os.path.join(build, "seeds", "uci.dict"), "w") as f:
        f.writelines(f'"{w}"\n' for w in words + UCI_FRAGMENTS)


def run(build, seconds, names):
    passed = failed = 0
    for name in names or HARNESSES:
        corpus = os.path.join(build, "corpus", name)
        crashes = os.path.join(build, "crashes")
        log_path = os.path.join(build, f"fuzz_{name}.log")
        os.makedirs(corpus, exist_ok=True)
        os.makedirs(crashes, exist_ok=True)
        args = [os.path.join(build, f"fuzz_{name}"), f"-max_total_time={seconds}", "-timeout=20", "-rss_limit_mb=2560",
                "-malloc_limit_mb=1024", "-close_fd_mask=3", "-print_final_stats=1",
                f"-artifact_prefix={crashes}/{name}-", corpus, os.path.join(build, "seeds", name)]
        dictionary = os.path.join(build, "seeds", f"{name}.dict")
        if os.path.exists(dictionary):
            args.insert(1, f"-dict={dictionary}")
        with open(log_path, "w") as log:
            env = dict(os.environ, UBSAN_OPTIONS="print_stacktrace=1")
            code = subprocess.call(args, stdout=log, stderr=subprocess.STDOUT, env=env)
        with open(log_path, encoding="latin-1") as log:
            text = log.read()
        runs = re.findall(r"^stat::number_of_executed_units:\s+(\d+)", text, re.M)
        cov, ft = (re.findall(r"^#\d+\s+DONE\s+cov: (\d+) ft: (\d+)", text, re.M) or [("?", "?")])[-1]
        print(f"fuzz_{name}: {runs[-1] if runs else '?'} runs, cov {cov}, ft {ft}, "
              f"{'ok' if code == 0 else 'FAILED (see ' + log_path + ')'}", flush=True)
        if code == 0:
            passed += 1
        else:
            failed += 1
            print(text[-6000:])
    print(f"fuzz: {passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "seeds":
        seeds(sys.argv[2], sys.argv[3])
        return 0
    if len(sys.argv) >= 4 and sys.argv[1] == "run":
        return run(sys.argv[2], int(sys.argv[3]), sys.argv[4:])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
