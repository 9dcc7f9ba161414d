#!/usr/bin/env python3
"""Checks that every source file includes only headers of its own layer or of
the layers below it:

    base <- parse <- store <- source <- assign <- engine <- app <- ui, cli

ui and cli are both on top and do not include each other.  Prints each
offending include and exits 1 when there is one."""
import pathlib
import re
import sys

ORDER = ["base", "parse", "store", "source", "assign", "engine", "app"]
TOP = {"ui", "cli"}

def rank(layer):
    return len(ORDER) if layer in TOP else ORDER.index(layer) if layer in ORDER else None

def main(src):
    include = re.compile(r'^\s*#\s*include\s+"([a-z]+)/')
    bad = []
    for path in sorted(pathlib.Path(src).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        layer = path.relative_to(src).parts[0]
        own = rank(layer)
        if own is None:
            continue
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = include.match(line)
            if not m:
                continue
            target = m.group(1)
            theirs = rank(target)
            if theirs is None:
                continue
            if theirs > own or (target in TOP and target != layer):
                bad.append(f"{path}:{number}: {layer} includes {target}: {line.strip()}")
    for b in bad:
        print(b)
    return 1 if bad else 0

if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "src"))
