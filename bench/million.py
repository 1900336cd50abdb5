#!/usr/bin/env python3
"""Writes the script the peak-memory figure of docs/performance.md is taken from: 16 devices
and interfaces in the default namespace, all requested by one application, one table, N
(default 1 000 000) routes with distinct sources over 4096 groups, an iif and three oifs
each, then `advance 60` so the full review runs to its end.

    python3 bench/million.py > million.kmfib
    /usr/bin/time -v build/release/tools/kmfibd script million.kmfib
"""
import sys

routes = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
out = sys.stdout
for i in range(1, 17):
    out.write(f"link default eth{i} {100 + i}\nintf Ethernet{i} eth{i}\n")
out.write("config default\n")
for i in range(1, 17):
    out.write(f"request pim default Ethernet{i}\n")
out.write("table default pim\n")
for r in range(routes):
    src = f"10.{(r >> 16) & 255}.{(r >> 8) & 255}.{r & 255}"
    grp = f"239.1.{(r % 4096) >> 8}.{r % 256}"
    intfs = [1 + (r + k) % 16 for k in range(4)]
    oifs = ",".join(f"Ethernet{x}" for x in intfs[1:])
    out.write(f"route default pim {src} {grp} iif Ethernet{intfs[0]} oif {oifs}\n")
out.write("advance 60\n")
