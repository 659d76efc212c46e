#!/usr/bin/env python3
"""Writes the dynamic list of the symbols a module leaves for the program that
loads it: every undefined, unversioned dynamic symbol of the module (the
program exports those it defines). Rewrites the list only when it changes.

Usage: module_imports.py <module.so> <list>
"""
import subprocess
import sys


def main(module, target):
    out = subprocess.run(["nm", "-D", "--undefined-only", module], check=True,
                         capture_output=True, text=True).stdout
    names = sorted({line.split()[-1] for line in out.splitlines()
                    if line.strip() and "@" not in line.split()[-1]})
    text = "{\n" + "".join(f'  "{name}";\n' for name in names) + "};\n"
    try:
        with open(target, encoding="utf-8") as existing:
            if existing.read() == text:
                return 0
    except FileNotFoundError:
        pass
    with open(target, "w", encoding="utf-8") as listing:
        listing.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
