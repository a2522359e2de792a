#!/usr/bin/env python3
"""Finds source files under src/ that include each other in a loop.

A header and the source file beside it with the same name are one unit ("ui/main/MainMenus"):
when MainMenus.cpp includes frmMain.h and frmMain.h includes MainMenus.h, the two units
cannot be read or tested apart, even though no header includes itself. Every loop of units
is printed; the exit status is 1 when there is one.

    scripts/include-loops.py [source root, default: src/ beside this script]
"""

import re
import sys
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}


def units(root):
    """Every source file under `root`, by its unit (path without suffix, relative to root)."""
    found = {}
    for path in sorted(root.rglob("*")):
        if path.suffix in SUFFIXES and path.is_file():
            found.setdefault(path.relative_to(root).with_suffix("").as_posix(), []).append(path)
    return found


def resolve(root, including, name, search):
    """The file an include names: beside the including file first, then on the search path."""
    for folder in [including.parent, *search]:
        candidate = folder / name
        if candidate.is_file():
            return candidate.resolve()
    return None


def strongly_connected(graph):
    """Tarjan's algorithm, iteratively; the components of more than one unit."""
    index, low, stack, on_stack, result = {}, {}, [], set(), []
    counter = 0
    for start in graph:
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, edges = work[-1]
            advanced = False
            for nxt in edges:
                if nxt not in index:
                    index[nxt] = low[nxt] = counter
                    counter += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph[nxt]))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    result.append(sorted(component))
    return result


def main():
    default = Path(__file__).resolve().parent.parent / "src"
    root = Path(sys.argv[1] if len(sys.argv) > 1 else default).resolve()
    # The include folders the targets declare: src/, and src/ui and src/app for their own headers.
    search = [root, root / "ui", root / "app"]
    by_unit = units(root)
    unit_of = {path.resolve(): unit for unit, paths in by_unit.items() for path in paths}
    graph = {unit: set() for unit in by_unit}
    why = {}
    for unit, paths in by_unit.items():
        for path in paths:
            for name in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
                target = resolve(root, path, name, search)
                other = unit_of.get(target) if target else None
                if other and other != unit:
                    graph[unit].add(other)
                    why.setdefault((unit, other), f"{path.relative_to(root)} includes \"{name}\"")
    loops = strongly_connected(graph)
    for component in loops:
        print("loop: " + ", ".join(component))
        members = set(component)
        for unit in component:
            for other in sorted(graph[unit] & members):
                print(f"    {why[(unit, other)]}")
    edges = sum(len(targets) for targets in graph.values())
    print(f"{len(by_unit)} units, {edges} include edges between them, {len(loops)} loop(s)")
    return 1 if loops else 0


if __name__ == "__main__":
    sys.exit(main())
