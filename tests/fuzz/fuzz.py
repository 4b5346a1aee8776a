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
import glob
import os
import re
import struct
import subprocess
import sys

HARNESSES = ["uci", "fen", "pgn", "book", "network", "tablebase", "records"]
HERE = os.path.dirname(os.path.abspath(__file__))

# Polyglot keys of the start position, after 1.e4, after 1.e4 d5 and after 1.d4:
# the book harness probes these positions.
BOOK_KEYS = [0x463B96181691FC9C, 0x823C9B50FD114196, 0x0756B94461C50FB0, 0x830EB9B20758D1DE]


def lines_of(path, limit=None):
    with open(path, encoding="latin-1") as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
    return lines[:limit] if limit else lines


def fen_of(epd_line):
    return " ".join(epd_line.split(";")[0].split()[:4])


class Corpus:
    def __init__(self, build, name):
        self.dir = os.path.join(build, "seeds", name)
        os.makedirs(self.dir, exist_ok=True)
        self.count = 0

    def add(self, data):
        if isinstance(data, str):
            data = data.encode("latin-1")
        with open(os.path.join(self.dir, "seed-%04d" % self.count), "wb") as f:
            f.write(data)
        self.count += 1


def seed_fen(build, shared):
    c = Corpus(build, "fen")
    for line in lines_of(f"{shared}/data/suites/wac.epd", 120) + lines_of(f"{shared}/data/suites/sts.epd", 60):
        c.add(line)
    for line in lines_of(f"{shared}/data/perft/standard.epd") + lines_of(f"{shared}/data/perft/chess960.epd", 30):
        c.add(line)
    for line in lines_of(f"{shared}/data/openings/FRC_openings.epd", 20):
        c.add(line)


def seed_uci(build, shared):
    c = Corpus(build, "uci")
    for line in lines_of(os.path.join(HERE, "uci_lines.txt")):
        c.add(line.replace("SHARED", shared))
    for line in lines_of(f"{shared}/data/suites/wac.epd", 30) + lines_of(f"{shared}/data/perft/chess960.epd", 10):
        c.add("position fen " + fen_of(line) + " 0 1")
    for line in lines_of(f"{shared}/data/openings/FRC_openings.epd", 5):
        c.add("position fen " + line + " moves e2e4 e7e5")


def seed_pgn(build, shared):
    c = Corpus(build, "pgn")
    for path in sorted(glob.glob(f"{shared}/data/pgn/edge/*.pgn")):
        with open(path, "rb") as f:
            c.add(f.read(16384))
    for path in sorted(glob.glob(f"{shared}/data/pgn/*.pgn")):
        with open(path, "rb") as f:
            text = f.read(65536)
        # The first three games of each collection.
        starts = [m.start() for m in re.finditer(rb"\n\n\[Event ", text)]
        c.add(text[: starts[2] + 1] if len(starts) > 2 else text[:8192])


def seed_book(build, shared):
    c = Corpus(build, "book")
    for path in sorted(glob.glob(f"{shared}/data/books/*.bin")):
        with open(path, "rb") as f:
            book = f.read()
        entries = len(book) // 16
        c.add(book[: 16 * 64])
        for key in BOOK_KEYS:
            lo, hi = 0, entries  # first entry whose key is not below key
            while lo < hi:
                mid = (lo + hi) // 2
                if struct.unpack_from(">Q", book, 16 * mid)[0] < key:
                    lo = mid + 1
                else:
                    hi = mid
            first = max(0, lo - 32)
            c.add(book[16 * first : 16 * (lo + 32)])


def seed_network(build, shared, source):
    c = Corpus(build, "network")
    for path in sorted(glob.glob(f"{source}/nets/*.net")):
        with open(path, "rb") as f:
            c.add(f.read())
    # Small networks of every output form: one bucket, 16 accumulators, 8-bit weights.
    for material, hidden in ((0, 0), (8, 0), (0, 16), (8, 16)):
        sizes = (16, 16, material, hidden)
        k = hidden if hidden else 8
        count = 768 * 16 + 10 * material + (32 + material) + k * (32 + material) + (hidden + 8 * hidden)
        header = struct.pack("<12hi", 806, 100, 200, 1, 6, 0, 0, *sizes, 0, count)
        c.add(header + bytes((i * 37) % 251 for i in range(count)))


def seed_tablebase(build, shared):
    c = Corpus(build, "tablebase")
    names = ["KQvK", "KRvK", "KPvK", "KBNvK"]  # the harness's order: the leading byte picks name and kind
    for index, name in enumerate(names):
        for kind, extension in enumerate([".rtbw", ".rtbz"]):
            path = f"{shared}/syzygy/{name}{extension}"
            if os.path.getsize(path) > 65536:
                continue
            with open(path, "rb") as f:
                c.add(bytes([index + 4 * kind]) + f.read())


def seed_records(build, shared):
    c = Corpus(build, "records")
    codes = {p: i + 1 for i, p in enumerate("PNBRQK")}
    codes.update({p.lower(): i + 9 for i, p in enumerate("PNBRQK")})
    records = []
    for line in lines_of(f"{shared}/data/suites/wac.epd", 64):
        placement, side, castling, ep = fen_of(line).split()
        board = [0] * 64
        for r, row in enumerate(placement.split("/")):
            f = 0
            for ch in row:
                if ch.isdigit():
                    f += int(ch)
                else:
                    board[(7 - r) * 8 + f] = codes[ch]
                    f += 1
        packed = bytes(board[2 * i] | board[2 * i + 1] << 4 for i in range(32))
        rights = sum(1 << i for i, ch in enumerate("KQkq") if ch in castling)
        ep_square = 64 if ep == "-" else (ord(ep[0]) - 97) + 8 * (int(ep[1]) - 1)
        score = (len(records) * 97) % 600 - 300
        records.append(packed + struct.pack("<BBhhh", rights | (0x10 if side == "b" else 0), ep_square, score, score, score))
    for i in range(0, len(records), 4):
        c.add(b"".join(records[i : i + 4]))


def seeds(build, shared):
    shared = os.path.abspath(shared)
    source = os.path.dirname(os.path.dirname(HERE))
    seed_fen(build, shared)
    seed_uci(build, shared)
    seed_pgn(build, shared)
    seed_book(build, shared)
    seed_network(build, shared, source)
    seed_tablebase(build, shared)
    seed_records(build, shared)


def run(build, seconds, names):
    passed = failed = 0
    for name in names or HARNESSES:
        program = os.path.join(build, f"fuzz_{name}")
        corpus = os.path.join(build, "corpus", name)
        crashes = os.path.join(build, "crashes")
        os.makedirs(corpus, exist_ok=True)
        os.makedirs(crashes, exist_ok=True)
        args = [program, f"-max_total_time={seconds}", "-timeout=20", "-rss_limit_mb=2560",
                "-malloc_limit_mb=1024", "-close_fd_mask=3", "-print_final_stats=1",
                f"-artifact_prefix={crashes}/{name}-", corpus, os.path.join(build, "seeds", name)]
        dictionary = os.path.join(HERE, f"{name}.dict")
        if os.path.exists(dictionary):
            args.insert(1, f"-dict={dictionary}")
        log_path = os.path.join(build, f"fuzz_{name}.log")
        with open(log_path, "w") as log:
            env = dict(os.environ, UBSAN_OPTIONS="print_stacktrace=1")
            code = subprocess.call(args, stdout=log, stderr=subprocess.STDOUT, env=env)
        with open(log_path, encoding="latin-1") as log:
            text = log.read()
        stats = dict(re.findall(r"^stat::(\w+):\s+(\d+)", text, re.M))
        done = re.findall(r"^#\d+\s+DONE\s+cov: (\d+) ft: (\d+)", text, re.M)
        cov, ft = done[-1] if done else ("?", "?")
        print(f"fuzz_{name}: {stats.get('number_of_executed_units', '?')} runs, cov {cov}, ft {ft}, "
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
