#!/usr/bin/env python3
"""Fails when the includes between the folders of src/ and lib/ make a cycle.

    tools/include_check.py [ROOT]

A quoted include "folder/file.h" points from the including file's folder to src/folder or
lib/folder; one without a folder points to its own folder when the file is there, else to the
folder that holds a file of that name (a library's public header). Every cycle is printed with
the includes that close it, one "file:line -> include" a line. Exit status 1 when there is one.
"""

import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = (".h", ".hpp", ".c", ".cpp")


def folder_edges(root):
    """{(from, to): [(file, line, include)]} for every include that leaves its folder."""
    folders = {}
    for top in ("src", "lib"):
        base = os.path.join(root, top)
        if os.path.isdir(base):
            for name in sorted(os.listdir(base)):
                if os.path.isdir(os.path.join(base, name)):
                    folders.setdefault(name, "%s/%s" % (top, name))
    holders = {}
    for folder in folders.values():
        for file in os.listdir(os.path.join(root, folder)):
            holders.setdefault(file, folder)
    edges = {}
    for name, folder in sorted(folders.items()):
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for file in sorted(files):
                if not file.endswith(SOURCES):
                    continue
                path = os.path.join(dirpath, file)
                with open(path, encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        include = match.group(1)
                        if "/" in include:
                            target = folders.get(include.split("/")[0])
                        elif os.path.exists(os.path.join(dirpath, include)):
                            continue
                        else:
                            target = holders.get(include)
                        if target and target != folder:
                            where = (os.path.relpath(path, root), number, match.group(1))
                            edges.setdefault((folder, target), []).append(where)
    return edges


def cycles(edges):
    """The strongly connected groups of more than one folder (Tarjan), each sorted."""
    graph = {}
    for a, b in edges:
        graph.setdefault(a, set()).add(b)
        graph.setdefault(b, set())
    index, low, stack, on_stack, groups = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for nxt in sorted(graph[node]):
            if nxt not in index:
                visit(nxt)
                low[node] = min(low[node], low[nxt])
            elif nxt in on_stack:
                low[node] = min(low[node], index[nxt])
        if low[node] == index[node]:
            group = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                group.append(top)
                if top == node:
                    break
            if len(group) > 1:
                groups.append(sorted(group))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return groups


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    edges = folder_edges(root)
    groups = cycles(edges)
    if not groups:
        print("includes between folders point one way (%d folder pairs)" % len(edges))
        return 0
    for group in groups:
        print("include cycle between %s:" % ", ".join(group))
        for (a, b), places in sorted(edges.items()):
            if a in group and b in group:
                for file, line, include in places:
                    print("  %s:%d -> %s" % (file, line, include))
    return 1


if __name__ == "__main__":
    sys.exit(main())
