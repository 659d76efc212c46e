#!/usr/bin/env python3
"""Merges the per-area string fragments into one table per language.

Usage: merge_strings.py <out-bundle-dir> <fragment.json>...
Fragments are named translations.<lang>.json; the result is
<out-bundle-dir>/<lang>.lproj/Localizable.json. A key that two fragments
translate differently, a non-string value or a duplicate key inside one
fragment stops the build.
"""
import json
import os
import sys


def load(path):
    def hook(pairs):
        seen = {}
        for k, v in pairs:
            if k in seen:
                raise SystemExit(f"{path}: duplicate key {k!r}")
            seen[k] = v
        return seen
    with open(path, encoding="utf-8") as f:
        data = json.load(f, object_pairs_hook=hook)
    if not isinstance(data, dict):
        raise SystemExit(f"{path}: a table must be one JSON object")
    for k, v in data.items():
        if not isinstance(v, str):
            raise SystemExit(f"{path}: value of {k!r} is not a string")
    return data


def main():
    out = sys.argv[1]
    tables = {}
    origin = {}
    for path in sys.argv[2:]:
        name = os.path.basename(path)
        parts = name.split(".")
        if len(parts) != 3 or parts[0] != "translations" or parts[2] != "json":
            raise SystemExit(f"{path}: fragments are named translations.<lang>.json")
        lang = parts[1]
        table = tables.setdefault(lang, {})
        for k, v in load(path).items():
            if k in table and table[k] != v:
                raise SystemExit(f"{path}: {k!r} differs from {origin[(lang, k)]}")
            table[k] = v
            origin[(lang, k)] = path
    for lang, table in tables.items():
        folder = os.path.join(out, f"{lang}.lproj")
        os.makedirs(folder, exist_ok=True)
        target = os.path.join(folder, "Localizable.json")
        text = json.dumps(table, ensure_ascii=False, sort_keys=True, indent=1) + "\n"
        try:
            with open(target, encoding="utf-8") as f:
                if f.read() == text:
                    continue
        except FileNotFoundError:
            pass
        with open(target, "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
