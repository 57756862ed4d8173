#!/usr/bin/env python3
"""The include graph of the program, and any circle in it.

Usage: tools/include_graph.py [--files] [ROOT]
Prints one line per folder edge ("blocks -> app  (3 includes)"), then the circles between files
(a header and its .cpp are one node). The two owners every object is reached through, the
application (device, sounds, world) and the world (its pictures, sounds and objects), are
included by what they own: those back-references are listed apart, and a circle made only
through them is not counted. Folder edges are shown whole, back-references included. With --files, every file edge is printed instead of the folder
edges. Exits 1 when a circle remains, so that a check can run it."""
import os
import re
import sys

# Owners reached back by what they own, each with its own owner: an include of one of them by
# anything but its owner is a back-reference, not a layer calling up.
OWNERS = {"app/game_app": "app/launch", "world/world": "app/game_app"}
FOLDERS = ["app", "gfx", "sound", "scenes", "world", "blocks", "play", "platform", "assets", "tools"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(root):
    for folder in FOLDERS:
        for here, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if name.endswith((".h", ".cpp")):
                    path = os.path.join(here, name)
                    yield os.path.relpath(path, root)


def unit(path):
    """A header and its .cpp are one node: the file graph is about what calls what."""
    return os.path.splitext(path)[0]


def top(path):
    return path.split(os.sep)[0]


def edges(root, by_file):
    graph = {}
    for path in sources(root):
        with open(os.path.join(root, path), encoding="utf-8") as f:
            text = f.read()
        src = unit(path) if by_file else top(path)
        for target in INCLUDE.findall(text):
            if not os.path.exists(os.path.join(root, target)):
                continue
            dst = unit(target) if by_file else top(target)
            if dst != src:
                graph.setdefault(src, {}).setdefault(dst, 0)
                graph[src][dst] += 1
    return graph


def circles(graph):
    """Strongly connected components of more than one node (Tarjan)."""
    index, low, stack, on, found, counter = {}, {}, [], set(), [], [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in graph.get(v, {}):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            if len(group) > 1:
                found.append(sorted(group))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return found


def without_back_references(graph):
    kept, back = {}, []
    for src, targets in graph.items():
        for dst, count in targets.items():
            if dst in OWNERS and OWNERS[dst] != src:
                back.append(f"{src} -> {dst}")
            else:
                kept.setdefault(src, {})[dst] = count
    return kept, sorted(back)


def main():
    args = [a for a in sys.argv[1:] if a != "--files"]
    by_file = "--files" in sys.argv[1:]
    root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    shown = edges(root, by_file)
    for src in sorted(shown):
        for dst in sorted(shown[src]):
            print(f"{src} -> {dst}  ({shown[src][dst]} includes)")
    graph, back = without_back_references(edges(root, True))
    for line in back:
        print("back-reference: " + line)
    found = circles(graph)
    for group in found:
        print("circle: " + " <-> ".join(group))
    if not found:
        print("no circle")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
