#!/usr/bin/env python3
"""Folder -> folder include counts of a source tree: how the program's libraries lean on each other.
Usage: scripts/include-graph.py [rastiv]"""
import os, re, sys, collections
root = sys.argv[1] if len(sys.argv) > 1 else "rastiv"
inc = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
counts = collections.Counter()
folders = {d for d in os.listdir(root) if os.path.isdir(os.path.join(root, d))}
for dp, _, fs in os.walk(root):
    rel = os.path.relpath(dp, root)
    src = rel.split(os.sep)[0] if rel != "." else "(top)"
    for f in fs:
        if not f.endswith((".cpp", ".hpp", ".h")): continue
        for line in open(os.path.join(dp, f), errors="replace"):
            m = inc.match(line)
            if not m: continue
            dst = m.group(1).split("/")[0]
            if "/" in m.group(1) and dst in folders and dst != src:
                counts[(src, dst)] += 1
for (s, d), n in sorted(counts.items()):
    print(f"{s}->{d} {n}")
