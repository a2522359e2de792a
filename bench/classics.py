#!/usr/bin/env python3
"""Chapters found in real novels against their true counts, as a user with no settings gets them.

usage: bench/classics.py CLI [TRUTH.tsv] [--encoding detect|truth] [--jobs N] [--all]

Runs `CLI list --title-rule auto --tidy NOVEL` on every novel of TRUTH.tsv (default: the
classics of the shared corpus beside this worktree) and prints, per novel, the kept chapters
against the true count, the rule the suggestion chose and how the numbers of the kept rows
run (gaps, steps back, duplicate numbers). Misses only, unless --all. With --encoding truth the
encoding column of TRUTH.tsv is passed on instead of letting the program detect it.
Not part of the test suite: the novels are not in the repository.
"""
import argparse
import concurrent.futures as cf
import csv
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
ap = argparse.ArgumentParser()
ap.add_argument("cli")
ap.add_argument("truth", nargs="?", default=os.path.join(here, "..", "..", "shared", "corpus", "classics", "TRUTH.tsv"))
ap.add_argument("--encoding", default="detect", choices=["detect", "truth"])
ap.add_argument("--jobs", type=int, default=2)
ap.add_argument("--all", action="store_true", help="list every novel, not only the misses")
a = ap.parse_args()
folder = os.path.dirname(os.path.abspath(a.truth))
novels = list(csv.DictReader(open(a.truth, encoding="utf-8"), delimiter="\t"))


def encoding_of(row):
    enc = row.get("encoding", "")
    if "big5" in enc or "cp950" in enc:
        return "big5"
    if "gb" in enc:
        return "gb18030"
    if "utf" in enc:
        return "utf-8"
    return None


def one(row):
    cmd = [a.cli, "list", "--title-rule", "auto", "--tidy"]
    if a.encoding == "truth" and encoding_of(row):
        cmd += ["--encoding", encoding_of(row)]
    r = subprocess.run(cmd + [os.path.join(folder, row["file"])], capture_output=True, timeout=300)
    kept = [f.split(b"\t") for f in r.stdout.split(b"\n") if f.split(b"\t")[1:2] == [b"0"]]
    notes = {}
    for f in kept:
        if len(f) > 6 and f[6] in (b"gap", b"back", b"duplicate", b"zero"):
            notes[f[6].decode()] = notes.get(f[6].decode(), 0) + 1
    rule = ""
    for line in r.stderr.decode("utf-8", "replace").splitlines():
        if line.startswith("标题规则"):
            rule = line.split(":", 1)[-1].strip()
    return row["file"], len(kept), int(row["true_chapters"]), rule, notes, r.returncode


with cf.ThreadPoolExecutor(a.jobs) as ex:
    results = list(ex.map(one, novels))
exact = 0
for name, kept, true, rule, notes, rc in results:
    exact += kept == true
    if a.all or kept != true:
        numbering = " ".join(f"{k}={v}" for k, v in sorted(notes.items()))
        status = "" if rc in (0, 3) else f" exit {rc}"
        print(f"{'  ' if kept == true else '✗ '}{name[:-4]:32} {kept:4}/{true:<4} {rule:16} {numbering}{status}")
print(f"true count on {exact} of {len(results)} novels (encoding {a.encoding}); "
      f"rows off in all: {sum(abs(k - t) for _, k, t, _, _, _ in results)}")
sys.exit(0 if exact == len(results) else 1)
