#!/usr/bin/env python3
"""Fails on any #include in src/ that points up or sideways: a subsystem includes itself and the
subsystems below it only.   layering.py SOURCE_ROOT"""
import os, re, sys

BELOW = {"base": set(), "config": {"base"}, "ipc": {"base"}, "ui": {"base", "config", "ipc"},
         "menu": {"base", "config", "ipc", "ui"}, "explorer": {"base", "config", "ipc", "ui"},
         "com": {"base", "config", "ipc", "ui", "menu", "explorer"}, "ipc_peer": {"base", "ipc"}}
src = os.path.join(sys.argv[1], "src")
bad = []
for sub in sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d))):
    if sub not in BELOW:
        bad.append("%s: a subsystem without its place below" % sub)
        continue
    for name in sorted(os.listdir(os.path.join(src, sub))):
        for number, line in enumerate(open(os.path.join(src, sub, name), encoding="utf-8"), 1):
            m = re.match(r'\s*#\s*include\s+"(\w+)/', line)
            if m and m.group(1) != sub and m.group(1) not in BELOW[sub]:
                bad.append("src/%s/%s:%d includes %s" % (sub, name, number, m.group(1)))
print("\n".join(bad) or "every include points down")
sys.exit(1 if bad else 0)
