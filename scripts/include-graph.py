#!/usr/bin/env python3
"""Draws the include graph of the checkout and checks it.

    scripts/include-graph.py LAYERS [--dot]

LAYERS is the file the build writes (build/layers.txt): one line per layer,
"folder: the folders it sees" (its own and those of the layers it links).
Prints the folders' graph (each folder, the folders it includes and how many
#include lines make each arrow), or with --dot the same as a Graphviz graph,
and fails, naming every file concerned, on:
- an arrow up: a file of a layer including a header of a folder its layer
  does not see;
- a header of a folder's internal/ included from outside that folder;
- a circle: files of different classes (a header and its source are one
  class, X.h and X.cpp) that include each other, directly or round about.
  A circle that stays within one folder and runs through its internal/
  (a component's front door and the parts that implement it, which use
  the front door's types) is printed as a note, not a fault.
The program (app/), the tests, the benchmarks and the fuzz targets may
include any layer, but no folder's internal/ either.
"""
import collections
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
USERS = ("app", "tests", "bench", "fuzz")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_layers(path):
    layers = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            if ":" in line:
                folder, seen = line.split(":", 1)
                layers[folder.strip()] = set(seen.split())
    return layers


def sources(folders):
    for top in folders:
        for dirpath, dirnames, filenames in os.walk(os.path.join(ROOT, top)):
            dirnames.sort()
            for name in sorted(filenames):
                if name.endswith((".h", ".cpp")):
                    yield os.path.relpath(os.path.join(dirpath, name), ROOT)


def resolve(source, included):
    """The checkout's file an #include names, or None (a generated or
    system header)."""
    for candidate in (os.path.join(os.path.dirname(source), included), included):
        candidate = os.path.normpath(candidate)
        if os.path.isfile(os.path.join(ROOT, candidate)):
            return candidate
    return None


def top(path):
    return path.split(os.sep)[0]


def internal_owner(path):
    """The folder whose internal/ holds the file, or None."""
    parts = path.split(os.sep)
    if "internal" in parts[:-1]:
        return os.sep.join(parts[: parts.index("internal")])
    return None


def circles(edges):
    """The strongly connected parts of more than one class (Tarjan)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        work = [(v, iter(sorted(edges.get(v, ()))))]
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on_stack.add(v)
        while work:
            node, children = work[-1]
            child = next(children, None)
            if child is not None:
                if child not in index:
                    index[child] = low[child] = counter[0]
                    counter[0] += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(edges.get(child, ())))))
                elif child in on_stack:
                    low[node] = min(low[node], index[child])
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                part = []
                while True:
                    w = stack.pop()
                    on_stack.discard(w)
                    part.append(w)
                    if w == node:
                        break
                if len(part) > 1:
                    found.append(sorted(part))

    for v in sorted(edges):
        if v not in index:
            visit(v)
    return found


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    layers = read_layers(argv[1])
    dot = "--dot" in argv[2:]
    faults = []
    arrows = collections.Counter()
    classes = collections.defaultdict(set)
    for source in sources(sorted(layers) + list(USERS)):
        folder = top(source)
        with open(os.path.join(ROOT, source), encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = resolve(source, match.group(1))
                if target is None:
                    continue
                where = f"{source}:{number}: includes {target}"
                owner = internal_owner(target)
                if owner and not (source + os.sep).startswith(owner + os.sep):
                    faults.append(f"{where}, inside {owner}/ alone")
                reached = top(target)
                if reached != folder:
                    arrows[(folder, reached)] += 1
                    if folder in layers and reached not in layers[folder]:
                        faults.append(f"{where}: an arrow up ({folder}/ does not see {reached}/)")
                mine, theirs = os.path.splitext(source)[0], os.path.splitext(target)[0]
                if mine != theirs:
                    classes[mine].add(theirs)
    notes = []
    for part in circles(classes):
        text = "a circle: " + " <-> ".join(part)
        folders = {top(c) for c in part}
        if len(folders) == 1 and any(internal_owner(c) for c in part):
            notes.append(text + " (within a component)")
        else:
            faults.append(text)

    if dot:
        print("digraph includes {")
        for (a, b), n in sorted(arrows.items()):
            print(f'  "{a}" -> "{b}" [label={n}];')
        print("}")
    else:
        by_folder = collections.defaultdict(list)
        for (a, b), n in sorted(arrows.items()):
            by_folder[a].append(f"{b} ({n})")
        for folder in [*USERS, *sorted(layers, key=lambda f: -len(layers[f]))]:
            if folder in by_folder or folder in layers:
                print(f"{folder:>12} -> {', '.join(by_folder.get(folder, [])) or '-'}")
    for note in notes:
        print("note: " + note)
    for fault in faults:
        print(fault, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
