#!/usr/bin/env bash
# The program's layers, from its own includes: platform, then instutils, engine, install, wizard
# and setup, each including only its own layer and those below (the runtime pieces sit beside the
# engine); the wizard's rules never include its window code; <windows.h> only in the platform's
# Win32 side, the wizard's window code and the program's entry; and no two units (a .h with its
# .cpp) include each other, however long the loop. A direct call needs the callee's declaration,
# so a loop of calls between files shows here as a loop of includes; the one exception is a
# class whose members are written in several files (the wizard form), which is kept one way.
#
#   tests/checks/layers.sh        prints each fault, exits 1 when there is one
set -euo pipefail
cd "$(dirname "$0")/../.."
python3 - <<'EOF'
import os, re, sys

ranks = {"platform": 1, "instutils": 2, "engine": 3, "runtime": 3, "install": 4, "wizard": 5,
         "setup": 6}
windows_ok = ("src/platform/Win32", "src/wizard/win32/", "src/setup/WinMain.cpp")
quoted = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
windows = re.compile(r'^\s*#\s*include\s+<windows\.h>', re.M | re.I)

files = []
for folder, _, names in os.walk("src"):
    files += [os.path.join(folder, n) for n in names if n.endswith((".h", ".cpp"))]
unit = lambda path: os.path.splitext(path)[0]
layer = lambda path: path.split("/")[1]

faults, arrows = [], {}
for path in sorted(files):
    text = open(path, encoding="cp1252").read()
    if windows.search(text) and not path.startswith(windows_ok):
        faults.append(f"{path}: includes <windows.h> outside the Win32 code")
    for target in quoted.findall(text):
        full = "src/" + target
        if not os.path.exists(full):
            continue
        if ranks[layer(full)] > ranks[layer(path)]:
            faults.append(f"{path}: includes {target}, a layer above its own")
        if "/win32/" in full and path.startswith("src/wizard/") and "/win32/" not in path:
            faults.append(f"{path}: the wizard's rules include its window code {target}")
        if unit(full) != unit(path):
            arrows.setdefault(unit(path), set()).add(unit(full))

# A loop is a unit that reaches itself again.
state = {}
def visit(node, trail):
    state[node] = "open"
    for nxt in sorted(arrows.get(node, ())):
        if state.get(nxt) == "open":
            loop = trail[trail.index(nxt):] + [nxt]
            faults.append("units include each other: " + " -> ".join(loop))
        elif nxt not in state:
            visit(nxt, trail + [nxt])
    state[node] = "done"
for node in sorted(arrows):
    if node not in state:
        visit(node, [node])

for fault in faults:
    print(fault)
print(f"layers: {len(files)} files, {sum(len(a) for a in arrows.values())} includes between units, "
      f"{len(faults)} faults")
sys.exit(1 if faults else 0)
EOF
