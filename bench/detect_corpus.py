#!/usr/bin/env python3
"""Encoding detection on real novels: the detected encoding against the known one.

usage: bench/detect_corpus.py BENCH_DETECT [FOLDER...]
(FOLDER defaults to ../shared/corpus and its classics/.) BENCH_DETECT is build/bench/bench_detect,
which reads and judges a novel as opening it does. The known encoding comes from the folder's
TRUTH.tsv (column `encoding`) when it lists the file, else from a part of the file name
(`_gbk`, `_gb`, `_utf8`, `_big5`, `_big5hkscs`). Code page 950 and Big5-HKSCS novels are both read
by our Big5-HKSCS codec. Prints one line per novel and a summary; exits 1 when one is wrong.
"""
import csv, os, subprocess, sys

if len(sys.argv) < 2:
    sys.exit(__doc__)
tool = sys.argv[1]
here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, "..", "..", "shared", "corpus")
folders = sys.argv[2:] or [corpus, os.path.join(corpus, "classics")]


def expected(name):
    n = name.lower()
    if "big5" in n or "cp950" in n:
        return "Big5-HKSCS"
    if "utf8" in n or "utf-8" in n:
        return "UTF-8"
    if "gb" in n:
        return "GB18030"
    return None


right = total = 0
for folder in folders:
    truth = {}
    table = os.path.join(folder, "TRUTH.tsv")
    if os.path.exists(table):
        for row in csv.DictReader(open(table, encoding="utf-8"), delimiter="\t"):
            truth[row["file"]] = row.get("encoding", "")
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".txt"):
            continue
        parts = [p for p in name[:-4].split("_") if p in ("gbk", "gb", "gb18030", "utf8", "big5", "big5hkscs", "cp950")]
        want = expected(truth.get(name, "")) or (expected(parts[0]) if parts else None)
        if want is None:
            continue
        out = subprocess.run([tool, os.path.join(folder, name)], capture_output=True, text=True).stdout.split()
        got = out[2] if len(out) == 3 else "?"
        total += 1
        right += got == want
        ms = out[0] if out else "?"
        print(f"{'ok   ' if got == want else 'WRONG'} {name:36} {want:11} {got:11} {ms} ms")
print(f"detected right: {right} of {total}")
sys.exit(0 if right == total else 1)
