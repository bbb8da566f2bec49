#!/bin/bash
# Prints which top-level folders include headers from which others (counting
# the #include "..." lines), and exits 1 if two folders depend on each other
# or if anything but the module itself, its tests, benches and fuzz targets
# includes the module's folders (shell/ and capture/, one component): the
# host and the tools reach it only by loading it.
#   bash scripts/include-graph.sh
set -euo pipefail
cd "$(dirname "$0")/.."
/usr/bin/python3 - <<'PY'
import collections, os, re, subprocess, sys

try:
    files = subprocess.run(['git', 'ls-files', '*.cpp', '*.h', '*.in'], capture_output=True,
                           text=True, check=True).stdout.split()
except (OSError, subprocess.CalledProcessError):  # not a checkout: every source but builds'
    files = [os.path.relpath(os.path.join(folder, name))
             for folder, subfolders, names in os.walk('.')
             if not os.path.relpath(folder).startswith(('build', '.git', 'out'))
             for name in names if name.endswith(('.cpp', '.h', '.in'))]
top = lambda path: path.split('/')[0] if '/' in path else '.'
# A header's name is taken as its folder's; names found in two folders count
# for the folder of the including file when it has one of them.
where = collections.defaultdict(set)
for path in files:
    if path.endswith('.h'):
        where[os.path.basename(path)].add(top(path))
edges = collections.Counter()
for path in files:
    source = top(path)
    with open(path, encoding='utf-8', errors='replace') as text:
        for line in text:
            found = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not found:
                continue
            owners = where.get(os.path.basename(found.group(1)), set())
            if not owners or source in owners:
                continue
            for owner in sorted(owners):
                edges[(source, owner)] += 1
for (source, target), count in sorted(edges.items()):
    print(f'{source:10} -> {target:10} {count:4} includes')
# shell and capture name each other by design (the command table and its
# handlers): they are one node here.
both = sorted({tuple(sorted(edge)) for edge in edges
               if (edge[1], edge[0]) in edges and not set(edge) <= {'shell', 'capture'}})
for a, b in both:
    print(f'{a} and {b} depend on each other', file=sys.stderr)
module = {'shell', 'capture'}
upward = sorted(edge for edge in edges
                if edge[1] in module and edge[0] not in module | {'tests', 'bench', 'fuzz'})
for source, target in upward:
    print(f'{source} includes the module\'s folder {target}', file=sys.stderr)
sys.exit(1 if both or upward else 0)
PY
